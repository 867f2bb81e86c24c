// `corvane template check` and `corvane template render`: the template engine's
// diagnostics for designers. These two commands use the library's template code
// directly (linked in); everything else in the tool reaches the library only
// through the module's entry points.
#include <fstream>
#include <iostream>
#include <sstream>

#include "commands.h"
#include "corvane/platform.h"
#include "module_host.h"
#include "options.h"
#include "templates/template_check.h"

namespace corvane::cli {
namespace {

constexpr const char* kHelp = R"(Usage: corvane template check FILE
       corvane template render FILE [--var NAME=VALUE]... [--locale NAME]

check   lists the expressions the template engine keeps and the ones it drops,
        with line and column, and whether the template parses at all.
        Exit status 1 when the template fails to parse or drops an expression.
render  renders the template as a step would, with the values given; a name
        given several times gives one value per repetition of a repeating
        expression. Exit status 1 when rendering raises an error.

FILE "-" reads the template from standard input.
Options:
  --var NAME=VALUE  a variable's value (repeatable)
  --locale NAME     en-US (default) or de-DE
)";

std::string ReadTemplate(const std::string& file) {
  std::ostringstream text;
  if (file == "-") {
    text << std::cin.rdbuf();
    return text.str();
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) throw UsageError("cannot open the template file " + file);
  text << in.rdbuf();
  return text.str();
}

}  // namespace

int TemplateCommand(const Args& args) {
  ParsedOptions o;
  try {
    o = ParseOptions(args, {"--help"}, {"--var", "--locale"});
    if (o.Flag("--help")) {
      std::cout << kHelp;
      return kExitOk;
    }
    if (o.positional.size() != 2 || (o.positional[0] != "check" && o.positional[0] != "render"))
      throw UsageError("say `template check FILE` or `template render FILE --var NAME=VALUE`");
    const std::string text = ReadTemplate(o.positional[1]);

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

    if (o.positional[0] == "check") {
      if (o.values.count("--var")) throw UsageError("--var belongs to template render");
      TemplateCheck check = CheckTemplate(text);
      std::cout << DescribeCheck(text, check);
      return check.parse_error || !check.dropped.empty() ? kExitFailed : kExitOk;
    }
    std::vector<std::pair<std::string, std::string>> values;
    if (auto it = o.values.find("--var"); it != o.values.end()) {
      for (const std::string& v : it->second) {
        size_t eq = v.find('=');
        if (eq == std::string::npos || eq == 0)
          throw UsageError("--var takes NAME=VALUE, not \"" + v + "\"");
        values.emplace_back(v.substr(0, eq), v.substr(eq + 1));
      }
    }
    try {
      std::cout << RenderPreview(text, values) << "\n";
      return kExitOk;
    } catch (const pelmark::Error& e) {
      std::cerr << "corvane: rendering raised error " << e.number() << ": " << e.description()
                << "\n  source: " << e.source() << "\n";
      return kExitFailed;
    }
  } catch (const UsageError& e) {
    std::cerr << "corvane: " << e.what() << "\n\n" << kHelp;
    return kExitCannotRun;
  }
}

}  // namespace corvane::cli
