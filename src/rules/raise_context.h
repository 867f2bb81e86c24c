// What a step was reading when it raised: the places that read a parameter, a
// variable or a template's value and convert it note their words for an error
// raised while they do, and the call the host made hands the note of the error
// it ends in to the installed observer (corvane/decisions.h). The error itself
// is untouched: its number, description and source are what the host sees.
//
// A note is kept per thread, from the moment its error is raised until the call
// ends or the error is swallowed, so calls on several threads never mix them.
// The innermost note of an error wins: it is the one that knows most.
//
// Typical usage:
//   const pelmark::Variant notes = TaskParameter(task, "COMMENTSASNOTES");
//   const bool on = Noted([&] { return RaiseNote{"reading", "task",
//                                   "parameter COMMENTSASNOTES", notes, "as a yes/no value"}; },
//                         [&] { return EqualsTrue(notes); });
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "corvane/decisions.h"
#include "pelmark/com.h"
#include "pelmark/variant.h"

namespace corvane {

// The words of one note; see corvane::RaisedContext for what each part holds.
struct RaiseNote {
  std::string action;
  std::string owner;
  std::string what;
  pelmark::Variant value;
  std::string detail;
};

// The installed observer, or null (the module's CorvaneSetDecisionObserver
// installs it).
DecisionObserver* InstalledObserver() noexcept;

// True when a note for `error` is already kept on this thread.
bool HasNoteFor(const pelmark::Error& error) noexcept;
// Keeps `note` as the words of `error` on this thread.
void KeepNote(const pelmark::Error& error, RaiseNote note) noexcept;
// Drops this thread's note: its error was swallowed, or a call begins.
void ForgetRaise() noexcept;
// Hands this thread's note to the observer when it belongs to `error`, the
// error call `method` of `class_name` ends in, and drops it.
void TellRaised(std::string_view class_name, std::string_view method,
                const pelmark::Error& error) noexcept;

// Runs body(); when it raises a contract error that has no note yet, keeps
// describe()'s words for it. Words are made only when someone listens.
template <class Describe, class Body>
decltype(auto) Noted(Describe&& describe, Body&& body) {
  try {
    return std::forward<Body>(body)();
  } catch (const pelmark::Error& error) {
    if (InstalledObserver() && !HasNoteFor(error)) {
      try {
        KeepNote(error, describe());
      } catch (...) {  // words that cannot be made must not change the error
      }
    }
    throw;
  }
}

}  // namespace corvane
