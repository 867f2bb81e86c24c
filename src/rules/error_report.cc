#include "rules/error_report.h"

#include <new>

#include "corvane/platform.h"

namespace corvane {

std::string_view ClassicDescription(int32_t number) {
  switch (number) {
    case 5:
      return "Invalid procedure call or argument";
    case 6:
      return "Overflow";
    case 7:
      return "Out of memory";
    case 9:
      return "Subscript out of range";
    case 11:
      return "Division by zero";
    case 13:
      return "Type mismatch";
    case 51:
      return "Internal error";
    case 75:
      return "Path/File access error";
    case 76:
      return "Path not found";
    case 91:
      return "Object variable or With block variable not set";
    case 93:
      return "Invalid pattern string";
    case 94:
      return "Invalid use of Null";
    case 424:
      return "Object required";
    case 438:
      return "Object doesn't support this property or method";
    case 445:
      return "Object doesn't support this action";
    case 457:
      return "This key is already associated with an element of this collection";
    default:
      return {};
  }
}

void Raise(int32_t number) {
  throw pelmark::Error(number, std::string(kLibrarySource),
                       std::string(ClassicDescription(number)));
}

void Raise(int32_t number, std::string description) {
  throw pelmark::Error(number, std::string(kLibrarySource), std::move(description));
}

std::string ExtendSource(std::string_view source, const Location& where, int32_t line) {
  std::string out;
  out.reserve(source.size() + where.owner.size() + where.procedure.size() + 20);
  out.append(source);
  if (where.form != kPublic) out.append(" => ");
  out.append("\r\n");
  out.append(where.owner);
  out.append(where.procedure);
  out.append(std::to_string(line));
  if (where.form == kBracketed) out.push_back(')');
  return out;
}

namespace {

// Anything that is not already a contract error becomes one, so the host only
// ever sees pelmark::Error.
pelmark::Error CurrentAsError() {
  try {
    throw;
  } catch (pelmark::Error& e) {
    return std::move(e);
  } catch (const std::bad_alloc&) {
    return pelmark::Error(7, std::string(kLibrarySource), std::string(ClassicDescription(7)));
  } catch (const std::exception& e) {
    return pelmark::Error(51, std::string(kLibrarySource), e.what());
  } catch (...) {
    return pelmark::Error(51, std::string(kLibrarySource), std::string(ClassicDescription(51)));
  }
}

}  // namespace

void ReportInFlight(const Location& where, int32_t line) {
  pelmark::Error error = CurrentAsError();
  error.set_source(ExtendSource(error.source(), where, line));
  if (where.logging == Logging::kLogged) {
    // The log must not turn one failure into another.
    try {
      Platform().LogError(error.description());
    } catch (...) {
    }
  }
  throw error;
}

}  // namespace corvane
