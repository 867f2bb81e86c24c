// A small parser for one command's options: flags (--json), options with a value
// (--registry DIR or --registry=DIR) and positional arguments, with messages that
// name the wrong option and the right ones.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvane::cli {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ParsedOptions {
  std::set<std::string> flags;
  std::map<std::string, std::vector<std::string>> values;  // repeatable
  std::vector<std::string> positional;

  bool Flag(const std::string& name) const { return flags.count(name) > 0; }
  std::string Value(const std::string& name) const {
    auto it = values.find(name);
    return it == values.end() || it->second.empty() ? "" : it->second.back();
  }
};

// Throws UsageError for an option not in `flags` or `with_value`, or an option
// whose value is missing.
inline ParsedOptions ParseOptions(const std::vector<std::string>& args,
                                  const std::set<std::string>& flags,
                                  const std::set<std::string>& with_value) {
  ParsedOptions out;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-h") {
      out.flags.insert("--help");
      continue;
    }
    if (!a.starts_with("--") || a == "--") {
      out.positional.push_back(a);
      continue;
    }
    std::string name = a, value;
    bool has_value = false;
    if (size_t eq = a.find('='); eq != std::string::npos) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
      has_value = true;
    }
    if (flags.count(name) && !has_value) {
      out.flags.insert(name);
    } else if (with_value.count(name)) {
      if (!has_value) {
        if (i + 1 >= args.size()) throw UsageError("the option " + name + " needs a value");
        value = args[++i];
      }
      out.values[name].push_back(value);
    } else {
      std::string known;
      for (const std::string& f : flags) known += " " + f;
      for (const std::string& f : with_value) known += " " + f + " VALUE";
      throw UsageError("unknown option " + name + "; the options here are" + known);
    }
  }
  return out;
}

}  // namespace corvane::cli
