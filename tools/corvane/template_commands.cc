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
       corvane template render FILE [--var NAME=VALUE]... [--locale NAME]

check   prints one line per finding, as editors and CI read them:
            FILE:LINE:COL: severity: message
        errors: an expression the parser drops (it stays in the text as
        written) and whatever makes the whole template fail to parse; one
        cause gives one line, with what it also hides. Notes list the
        expressions the engine keeps. With --class, a variable name the class
        does not provide to its templates is a warning.
        Exit status 0 without errors (warnings allowed), 1 with errors.
render  renders the template as a step would, with the values given; a name
        given several times gives one value per repetition of a repeating
        expression. A variable without a value renders as empty text and is
        warned about on standard error.
        Exit status 0 rendered, 1 rendering raised an error, 3 the template
        does not parse (nothing is rendered).

FILE "-" reads the template from standard input.
Options:
  --class NAME      (check) the class whose template variables are known:
                    a name, ProgID or CLSID
  --var NAME=VALUE  (render) a variable's value (repeatable)
  --locale NAME     en-US (default) or de-DE
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
  Findings(std::string file, std::string_view text)
      : file_(std::move(file)), text_(text), where_(text) {}

  void Add(int32_t position, const std::string& severity, const std::string& message) {
    findings_.push_back({position, severity + ": " + message});
    if (severity == "error") ++errors_;
  }
  // "LINE:COL"; positions asked for in the order of the text cost one pass.
  std::string Where(int32_t position) {
    auto [line, column] = where_.At(position);
    return std::to_string(line) + ":" + std::to_string(column);
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
  std::string_view text() const { return text_; }

 private:
  std::string file_;
  std::string_view text_;
  TextPositions where_;
  std::vector<std::pair<int32_t, std::string>> findings_;  // position, "severity: message"
  int errors_ = 0;
};

std::string ParseErrorText(const pelmark::Error& e) {
  return "the template does not parse (error " + std::to_string(e.number()) + ", " +
         e.description() + ")";
}

// The errors of a check: each cause once. A dropped expression also hides the
// "{" that recovery passes over, and an expression left open or holding a
// problem is what the whole template's parse failure comes from, so those say
// it in their own line instead of adding another.
void AddErrors(Findings& f, const TemplateCheck& check) {
  bool parse_failure_explained = false;
  size_t hidden_until = 0;  // the end of an expression recovery passed over
  for (const DroppedExpression& d : check.dropped) {
    // What goes wrong inside an expression that was never recognised is part of
    // the finding that hid it.
    if (static_cast<size_t>(d.at ? d.at : d.start) <= hidden_until) continue;
    std::string message =
        (d.start ? "expression dropped, it stays in the text as written: " : "syntax error: ") +
        d.reason;
    if (d.skipped_brace)
      message += "; the { at " + f.Where(d.skipped_brace) +
                 " is passed over, so an expression starting there is not recognised";
    f.Add(d.at ? d.at : d.start, "error", message);
    if (d.skipped_brace) {
      size_t end = f.text().find("}}", static_cast<size_t>(d.skipped_brace) - 1);
      hidden_until = end == std::string_view::npos ? f.text().size() : end + 2;
    }
  }
  for (const KeptExpression& e : check.kept)
    if (!e.problem.empty()) {
      std::string message = e.problem;
      if (check.parse_error) message += "; " + ParseErrorText(*check.parse_error);
      f.Add(e.start, "error", message);
      parse_failure_explained = true;
    }
  if (check.open_expression && !parse_failure_explained) {
    std::string message = "no closing braces before the end of the template";
    if (check.parse_error) message += "; " + ParseErrorText(*check.parse_error);
    f.Add(check.open_expression, "error", message);
    parse_failure_explained = true;
  }
  if (check.parse_error && !parse_failure_explained)
    f.Add(1, "error", ParseErrorText(*check.parse_error));
}

int Check(const std::string& file, const std::string& text, const ClassDescription* d) {
  TemplateCheck check = CheckTemplate(text);
  Findings f(file, text);
  AddErrors(f, check);
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
      if (!d) continue;
      for (const TemplateVariable& v : e.variables) {
        bool known = false;
        for (const TemplateVariableDoc& t : d->template_variables)
          known = known || Upper(t.name) == Upper(v.name);
        if (!known)
          f.Add(e.start, "warning",
                d->name + (d->template_variables.empty()
                               ? " gives its templates no variables, so " + v.name +
                                     " renders as empty text"
                               : " does not provide the variable " + v.name +
                                     "; it renders as empty text (`corvane describe " + d->name +
                                     "` lists the ones it does)"));
      }
    }
    if (!check.has_expressions && check.dropped.empty())
      f.Add(1, "note", "no expressions: the template is used as it stands");
  }
  std::cout << f.str();
  return f.errors() ? kExitFailed : kExitOk;
}

int Render(const std::string& file, const std::string& text,
           const std::vector<std::pair<std::string, std::string>>& values) {
  TemplateCheck check = CheckTemplate(text);
  if (check.parse_error) {
    Findings f(file, text);
    AddErrors(f, check);
    std::cerr << f.str();
    return kExitDoesNotParse;
  }
  Findings warnings(file, text);
  std::unordered_set<std::string> given;
  for (const auto& [name, value] : values) given.insert(Upper(name));
  for (const KeptExpression& e : check.kept)
    for (const TemplateVariable& v : e.variables) {
      if (!given.contains(Upper(v.name)))
        warnings.Add(e.start, "warning",
                     "the variable " + (v.name.empty() ? "(empty name)" : v.name) +
                         " has no value (give one with --var); it renders as empty text");
    }
  std::cerr << warnings.str();
  try {
    std::cout << RenderPreview(text, values) << "\n";
    return kExitOk;
  } catch (const pelmark::Error& e) {
    // The source's locations go on one line, as the run report shows them.
    std::string source = e.source();
    for (size_t at; (at = source.find("\r\n")) != std::string::npos;) source.replace(at, 2, " | ");
    std::cerr << "corvane: rendering raised error " << e.number() << ": "
              << Printable(e.description()) << "\n  source: " << Printable(source) << "\n";
    return kExitFailed;
  }
}

}  // namespace

int TemplateCommand(const Args& args) {
  ParsedOptions o;
  try {
    o = ParseOptions(args, {"--help"}, {"--var", "--locale", "--class"});
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
    return Render(file, text, values);
  } catch (const UsageError& e) {
    std::cerr << "corvane: " << Printable(e.what()) << "\n\n" << kHelp;
    return kExitCannotRun;
  }
}

}  // namespace corvane::cli
