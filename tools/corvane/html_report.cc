#include "html_report.h"

#include <cstring>
#include <stdexcept>
#include <system_error>

#include "portable.h"

namespace corvane::cli {

namespace fs = std::filesystem;

void BothSinks::BeginReport(const Json& head, const std::string& module) {
  first_.BeginReport(head, module);
  second_.BeginReport(head, module);
}

void BothSinks::BeginEvent(const Json& head) {
  first_.BeginEvent(head);
  second_.BeginEvent(head);
}

void BothSinks::EndEvent(const Json& tail) {
  first_.EndEvent(tail);
  second_.EndEvent(tail);
}

void BothSinks::EndTimeline(const Json& summary) {
  first_.EndTimeline(summary);
  second_.EndTimeline(summary);
}

void BothSinks::BeginCall(const Json& head) {
  first_.BeginCall(head);
  second_.BeginCall(head);
}

void BothSinks::Member(std::string_view key, const Json& value) {
  first_.Member(key, value);
  second_.Member(key, value);
}

void BothSinks::BeginList(std::string_view key) {
  first_.BeginList(key);
  second_.BeginList(key);
}

void BothSinks::Element(const Json& element) {
  first_.Element(element);
  second_.Element(element);
}

void BothSinks::EndList() {
  first_.EndList();
  second_.EndList();
}

void BothSinks::EndCall() {
  first_.EndCall();
  second_.EndCall();
}

void BothSinks::EndReport(const Json& tail) {
  first_.EndReport(tail);
  second_.EndReport(tail);
}

HtmlReportFile::ScriptSafeBuffer::int_type HtmlReportFile::ScriptSafeBuffer::overflow(int_type ch) {
  if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
  const char c = traits_type::to_char_type(ch);
  return xsputn(&c, 1) == 1 ? ch : traits_type::eof();
}

std::streamsize HtmlReportFile::ScriptSafeBuffer::xsputn(const char* text, std::streamsize count) {
  static constexpr char kEscaped[] = "\\u003c";
  std::streamsize done = 0;
  while (done < count) {
    const char* lt = static_cast<const char*>(std::memchr(text + done, '<', count - done));
    const std::streamsize plain = (lt ? lt - text : count) - done;
    if (out_->sputn(text + done, plain) != plain) return done;
    done += plain;
    if (!lt) break;
    if (out_->sputn(kEscaped, sizeof kEscaped - 1) != sizeof kEscaped - 1) return done;
    ++done;
  }
  return done;
}

HtmlReportFile::HtmlReportFile(fs::path path) : path_(std::move(path)) {
  if (path_.empty()) throw std::runtime_error("--html needs a file name");
  temporary_ = path_;
  temporary_ += ".tmp-" + std::to_string(ProcessId());
  file_.open(temporary_, std::ios::binary | std::ios::trunc);
  if (!file_)
    throw std::runtime_error("cannot write the HTML file " + Utf8Of(path_) +
                             ": its directory does not exist or is not writable");
  safe_buffer_ = std::make_unique<ScriptSafeBuffer>(file_.rdbuf());
  safe_ = std::make_unique<std::ostream>(safe_buffer_.get());
  json_ = std::make_unique<JsonStream>(*safe_);
  sink_ = std::make_unique<JsonReportSink>(*json_);
}

HtmlReportFile::~HtmlReportFile() {
  file_.close();
  std::error_code ignored;
  fs::remove(temporary_, ignored);
}

void HtmlReportFile::Begin(const Json& reports) {
  file_ << kReportPageBeforeData;
  json_->BeginObject();
  json_->BeginArray("scenarios");
  for (const Json& report : reports) json_->Value(report);
  started_ = true;
}

void HtmlReportFile::Finish(int status) {
  json_->End();
  json_->Value(status, "status");
  json_->End();
  *safe_ << "\n";
  safe_->flush();
  file_ << kReportPageAfterData;
  file_.close();
  if (!*safe_ || !file_) throw std::runtime_error("cannot write the HTML file " + Utf8Of(path_));
  std::error_code ec;
  fs::rename(temporary_, path_, ec);
  if (ec)
    throw std::runtime_error("cannot write the HTML file " + Utf8Of(path_) + ": " + ec.message());
}

}  // namespace corvane::cli
