// `corvane template check` and `corvane template render`: the template engine's
// diagnostics for designers. These two commands use the library's template code
// directly (linked in); everything else in the tool reaches the library only
// through the module's entry points.
#include <algorithm>
#include <cctype>
#include <fstream>
#include <iostream>
#include <sstream>
#include <unordered_set>

#include "class_descriptions.h"
#include "commands.h"
#include "corvane/platform.h"
#include "module_host.h"
#include "options.h"
#include "rules/utf8_path.h"
#include "templates/template_check.h"

namespace corvane::cli {
namespace {

// A template that does not parse at all, as distinct from one whose rendering
// raises (kExitFailed); 2 stays "cannot run" (bad command line, unreadable file).
constexpr int kExitDoesNotParse = 3;

constexpr const char* kHelp = R"(Usage: corvane template check FILE [--class NAME]
       corvane template render FILE [--var NAME=VALUE]... [--locale NAME] [--strict]

check   prints one line per finding, as editors and CI read them:
            FILE:LINE:COL: severity: message; fix: what to write instead
        errors: an expression the parser drops (it stays in the text as
        written) and whatever makes the whole template fail to parse; a
        single } that takes the text after it into an expression, where it
        is lost; a \N with no variable of its own (it stays as written); a
        per-item variable (dmsobject.id, .name, .link) in an expression not
        repeated with N:dmsobject (it renders as empty text). One cause gives
        one line, with what it also hides. A loop object other than dmsobject
        is an error too: the step fails without a process variable of that
        name. Notes list the expressions the engine keeps. With --class,
        a variable name the class does not provide to its templates is a
        warning and an item field it does not fill is an error.
        Exit status 0 without errors (warnings allowed), 1 with errors.
render  renders the template as a step would, with the values given; a name
        given several times gives one value per repetition of a repeating
        expression. On standard error: the findings of check (without notes),
        a warning for a variable without a value (it renders as empty text)
        and for an expression that renders as empty text.
        Exit status 0 rendered, 1 rendering raised an error (or, with
        --strict, an expression is dropped, loses text or renders as empty
        text), 3 the template does not parse (nothing is rendered).

FILE "-" reads the template from standard input.
Options:
  --class NAME      (check) the class whose template variables are known:
                    a name, ProgID or CLSID
  --var NAME=VALUE  (render) a variable's value (repeatable)
  --locale NAME     en-US (default) or de-DE
  --strict          (render) exit 1 when an expression is dropped, loses
                    text or renders as empty text, after rendering it
)";

std::string ReadTemplate(const std::string& file) {
  std::ostringstream text;
  if (file == "-") {
    text << std::cin.rdbuf();
    return text.str();
  }
  std::ifstream in(PathOfUtf8(file), std::ios::binary);
  if (!in) throw UsageError("cannot open the template file " + file);
  text << in.rdbuf();
  return text.str();
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& ch : out) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return out;
}

// Lines and columns of positions in one text, as LineAndColumn counts them,
// counted on from the last position asked for: asked in the order of the text,
// any number of positions cost one pass over it.
class TextPositions {
 public:
  explicit TextPositions(std::string_view text) : text_(text) {}

  std::pair<int32_t, int32_t> At(int32_t position) {
    const size_t last = std::min(text_.size(), static_cast<size_t>(std::max(position, 1)));
    if (last < counted_) counted_ = 0, line_ = 1, column_ = 0;
    for (; counted_ < last; ++counted_) {
      const unsigned char c = static_cast<unsigned char>(text_[counted_]);
      if (c == '\n') {
        ++line_;
        column_ = 0;
      } else if ((c & 0xC0) != 0x80) {
        ++column_;
      }
    }
    int32_t column = column_;
    if (position > static_cast<int32_t>(text_.size()))
      column += position - static_cast<int32_t>(text_.size());
    return {line_, std::max(column, 1)};
  }

 private:
  std::string_view text_;
  size_t counted_ = 0;  // bytes counted into line_ and column_
  int32_t line_ = 1;
  int32_t column_ = 0;  // characters since the line's start
};

// Findings in the FILE:LINE:COL form, in the order of the template.
class Findings {
 public:
  Findings(std::string file, std::string_view text) : file_(std::move(file)), text_(text) {}

  void Add(int32_t position, const std::string& severity, const std::string& message) {
    findings_.push_back({position, severity + ": " + message});
    if (severity == "error") ++errors_;
  }
  std::string str() {
    std::stable_sort(findings_.begin(), findings_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    TextPositions positions(text_);
    std::string out;
    for (const auto& [position, finding] : findings_) {
      auto [line, column] = position > 0 ? positions.At(position) : std::pair{1, 1};
      out += Printable(file_ + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " +
                       finding) +
             "\n";
    }
    return out;
  }
  int errors() const { return errors_; }

 private:
  std::string file_;
  std::string_view text_;
  std::vector<std::pair<int32_t, std::string>> findings_;  // position, "severity: message"
  int errors_ = 0;
};

// The finding as one line's text: the message, then the fix.
std::string FindingText(const TemplateFinding& finding) {
  if (finding.suggestion.empty()) return finding.message;
  return finding.message + (finding.suggestion.starts_with("did you mean") ? "; " : "; fix: ") +
         finding.suggestion;
}

const char* SeverityName(FindingSeverity severity) {
  return severity == FindingSeverity::kError     ? "error"
         : severity == FindingSeverity::kWarning ? "warning"
                                                 : "note";
}

void AddFindings(Findings& f, const std::vector<TemplateFinding>& findings) {
  for (const TemplateFinding& finding : findings)
    f.Add(finding.position, SeverityName(finding.severity), FindingText(finding));
}

// The findings for a class: its template variables, and the item loop when it
// fills per-item variables. A variable it does not provide is phrased with the
// class's name and where to look.
void AddClassFindings(Findings& f, std::string_view text, const ClassDescription& d) {
  std::vector<std::string> names;
  std::vector<std::string> loops;
  for (const TemplateVariableDoc& t : d.template_variables) {
    names.push_back(t.name);
    if (loops.empty() && Upper(t.name).starts_with(Upper(kItemLoopObject) + "."))
      loops.emplace_back(kItemLoopObject);
  }
  for (TemplateFinding& finding : FindTemplateProblems(text, names, loops)) {
    if (finding.kind == FindingKind::kUnknownVariable) {
      const std::string& v = finding.subject;
      finding.message =
          d.name + (d.template_variables.empty()
                        ? " gives its templates no variables, so " + v + " renders as empty text"
                        : " does not provide the variable " + v +
                              "; it renders as empty text (`corvane describe " + d.name +
                              "` lists the ones it does)");
    }
    f.Add(finding.position, SeverityName(finding.severity), FindingText(finding));
  }
}

int Check(const std::string& file, const std::string& text, const ClassDescription* d) {
  TemplateCheck check = CheckTemplate(text);
  Findings f(file, text);
  if (d)
    AddClassFindings(f, text, *d);
  else
    AddFindings(f, FindTemplateProblems(text));
  if (!check.parse_error) {
    for (const KeptExpression& e : check.kept) {
      std::string note = "expression kept: format \"" + e.format_string + "\"";
      if (e.repeat)
        note += e.loop_object.empty() ? ", repeated " + std::to_string(e.loop_count) + " times"
                                      : ", repeated once per item of " + e.loop_object;
      for (const TemplateVariable& v : e.variables)
        note += ", \\" + std::to_string(v.position) + " = " +
                (v.name.empty() ? "(empty name)" : v.name);
      f.Add(e.start, "note", note);
    }
    if (!check.has_expressions && check.dropped.empty())
      f.Add(1, "note", "no expressions: the template is used as it stands");
  }
  std::cout << f.str();
  return f.errors() ? kExitFailed : kExitOk;
}

// Warns about each variable without a value; answers which expressions have one.
std::vector<bool> AddMissingValues(Findings& f, const TemplateCheck& check,
                                   const std::vector<std::pair<std::string, std::string>>& values) {
  std::unordered_set<std::string> given;
  for (const auto& [name, value] : values) given.insert(Upper(name));
  std::vector<bool> missing;
  for (const KeptExpression& e : check.kept) {
    missing.push_back(false);
    for (const TemplateVariable& v : e.variables) {
      if (given.contains(Upper(v.name))) continue;
      missing.back() = true;
      f.Add(e.start, "warning",
            "the variable " + (v.name.empty() ? "(empty name)" : v.name) +
                " has no value (give one with --var); it renders as empty text");
    }
  }
  return missing;
}

int Render(const std::string& file, const std::string& text,
           const std::vector<std::pair<std::string, std::string>>& values, bool strict) {
  TemplateCheck check = CheckTemplate(text);
  Findings f(file, text);
  AddFindings(f, FindTemplateProblems(text));
  if (check.parse_error) {
    std::cerr << f.str();
    return kExitDoesNotParse;
  }
  std::vector<bool> missing = AddMissingValues(f, check, values);
  std::string rendered;
  std::vector<std::string> renderings;
  try {
    rendered = RenderPreview(text, values, &renderings);
  } catch (const pelmark::Error& e) {
    std::cerr << f.str();
    // The source's locations go on one line, as the run report shows them.
    std::string source = e.source();
    for (size_t at; (at = source.find("\r\n")) != std::string::npos;) source.replace(at, 2, " | ");
    std::cerr << "corvane: rendering raised error " << e.number() << ": "
              << Printable(e.description()) << "\n  source: " << Printable(source) << "\n";
    return kExitFailed;
  }
  // An expression that renders as nothing is as good as dropped; one whose
  // variable has no value is already warned about.
  int empty = 0;
  for (size_t i = 0; i < renderings.size() && i < check.kept.size(); ++i) {
    if (!renderings[i].empty()) continue;
    ++empty;
    if (!missing[i])
      f.Add(check.kept[i].start, "warning",
            check.kept[i].repeat && !check.kept[i].loop_object.empty()
                ? "the expression renders as empty text: no values were given for the items of " +
                      check.kept[i].loop_object
                : "the expression renders as empty text");
  }
  std::cerr << f.str();
  std::cout << rendered << "\n";
  return strict && (f.errors() || empty) ? kExitFailed : kExitOk;
}

}  // namespace

int TemplateCommand(const Args& args) {
  ParsedOptions o;
  try {
    o = ParseOptions(args, {"--help", "--strict"}, {"--var", "--locale", "--class"});
    if (o.Flag("--help")) {
      std::cout << kHelp;
      return kExitOk;
    }
    if (o.positional.size() != 2 || (o.positional[0] != "check" && o.positional[0] != "render"))
      throw UsageError("say `template check FILE` or `template render FILE --var NAME=VALUE`");
    const bool checking = o.positional[0] == "check";
    if (checking && o.values.count("--var")) throw UsageError("--var belongs to template render");
    if (!checking && o.values.count("--class"))
      throw UsageError("--class belongs to template check");
    if (checking && o.Flag("--strict")) throw UsageError("--strict belongs to template render");
    const ClassDescription* described = nullptr;
    if (o.values.count("--class")) {
      described = FindDescription(o.Value("--class"));
      if (!described)
        throw UsageError("unknown class " + o.Value("--class") +
                         " for --class; `corvane classes` lists the 32 classes");
    }
    const std::string text = ReadTemplate(o.positional[1]);
    const std::string file = o.positional[1] == "-" ? "<stdin>" : o.positional[1];

    // The linked template code reads the clock and locale through its own seam.
    CliPlatform platform;
    const std::string locale = o.Value("--locale").empty() ? "en-US" : o.Value("--locale");
    platform.locale = FindLocale(locale);
    if (!platform.locale) throw UsageError("unknown locale " + locale + "; use en-US or de-DE");
    PlatformServices* previous = SetPlatform(&platform);
    struct Restore {
      PlatformServices* p;
      ~Restore() { SetPlatform(p); }
    } restore{previous};

    if (checking) return Check(file, text, described);
    std::vector<std::pair<std::string, std::string>> values;
    if (auto it = o.values.find("--var"); it != o.values.end()) {
      for (const std::string& v : it->second) {
        size_t eq = v.find('=');
        if (eq == std::string::npos || eq == 0)
          throw UsageError("--var takes NAME=VALUE, not \"" + v + "\"");
        values.emplace_back(v.substr(0, eq), v.substr(eq + 1));
      }
    }
    return Render(file, text, values, o.Flag("--strict"));
  } catch (const UsageError& e) {
    std::cerr << "corvane: " << Printable(e.what()) << "\n\n" << kHelp;
    return kExitCannotRun;
  }
}

}  // namespace corvane::cli
