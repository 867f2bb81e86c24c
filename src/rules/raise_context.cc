#include "rules/raise_context.h"

#include <atomic>

namespace corvane {
namespace {

std::atomic<DecisionObserver*> g_observer{nullptr};

// The note of the error in flight on this thread.
struct KeptNote {
  bool kept = false;
  int32_t number = 0;
  std::string description;
  RaiseNote note;
};

KeptNote& ThisThreadsNote() {
  thread_local KeptNote note;
  return note;
}

}  // namespace

DecisionObserver* InstalledObserver() noexcept {
  return g_observer.load(std::memory_order_acquire);
}

DecisionObserver* SetDecisionObserver(DecisionObserver* observer) {
  return g_observer.exchange(observer, std::memory_order_acq_rel);
}

bool HasNoteFor(const pelmark::Error& error) noexcept {
  const KeptNote& kept = ThisThreadsNote();
  return kept.kept && kept.number == error.number() && kept.description == error.description();
}

void KeepNote(const pelmark::Error& error, RaiseNote note) noexcept {
  KeptNote& kept = ThisThreadsNote();
  try {
    kept.description = error.description();
  } catch (...) {
    kept.kept = false;
    return;
  }
  kept.number = error.number();
  kept.note = std::move(note);
  kept.kept = true;
}

void ForgetRaise() noexcept { ThisThreadsNote().kept = false; }

void TellRaised(std::string_view class_name, std::string_view method,
                const pelmark::Error& error) noexcept {
  DecisionObserver* observer = InstalledObserver();
  if (observer && HasNoteFor(error)) {
    // The observer must not throw; if it does, the call's own error still leaves.
    try {
      RaiseNote& note = ThisThreadsNote().note;
      observer->Raised({.class_name = std::string(class_name),
                        .method = std::string(method),
                        .number = error.number(),
                        .description = error.description(),
                        .action = std::move(note.action),
                        .owner = std::move(note.owner),
                        .what = std::move(note.what),
                        .value = std::move(note.value),
                        .detail = std::move(note.detail)});
    } catch (...) {
    }
  }
  ForgetRaise();
}

}  // namespace corvane
