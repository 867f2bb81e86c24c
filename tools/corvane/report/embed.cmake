# Builds the page of `corvane run --html` into the tool: report.html with its
# style sheet and script put in place, split where the report's data goes, as
# two byte arrays in a generated source file.
#
#   cmake -DSOURCE_DIR=tools/corvane/report -DOUTPUT=report_page.cc -P embed.cmake
cmake_minimum_required(VERSION 3.20)

file(READ "${SOURCE_DIR}/report.html" page)
file(READ "${SOURCE_DIR}/report.css" style)
file(READ "${SOURCE_DIR}/report.js" script)

# Text that would end its element early would break the page for every report.
string(TOLOWER "${style}" style_lower)
string(TOLOWER "${script}" script_lower)
if(style_lower MATCHES "</style" OR script_lower MATCHES "</script")
  message(FATAL_ERROR "report.css or report.js holds a closing tag of its own element")
endif()
foreach(marker @REPORT_CSS@ @REPORT_JS@ @REPORT_DATA@)
  string(FIND "${page}" "${marker}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "report.html lacks the marker ${marker}")
  endif()
endforeach()

string(REPLACE "@REPORT_CSS@" "${style}" page "${page}")
string(REPLACE "@REPORT_JS@" "${script}" page "${page}")
string(FIND "${page}" "@REPORT_DATA@" at)
string(SUBSTRING "${page}" 0 ${at} before)
math(EXPR after_start "${at} + 13")
string(SUBSTRING "${page}" ${after_start} -1 after)

set(body "")
foreach(part before after)
  file(WRITE "${OUTPUT}.${part}" "${${part}}")
  file(READ "${OUTPUT}.${part}" hex HEX)
  file(REMOVE "${OUTPUT}.${part}")
  string(LENGTH "${hex}" length)
  math(EXPR bytes "${length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n" hex "${hex}")
  string(APPEND body "const unsigned char k_${part}[${bytes}] = {\n${hex}\n};\n")
endforeach()

file(WRITE "${OUTPUT}" "// Made from tools/corvane/report/ by embed.cmake at build time.
#include <string_view>

namespace corvane::cli {
namespace {
${body}}  // namespace

extern const std::string_view kReportPageBeforeData(reinterpret_cast<const char*>(k_before),
                                                    sizeof k_before);
extern const std::string_view kReportPageAfterData(reinterpret_cast<const char*>(k_after),
                                                   sizeof k_after);

}  // namespace corvane::cli
")
