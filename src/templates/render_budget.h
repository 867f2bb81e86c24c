// The rendering budget: everything one call renders counts against the
// platform's TemplateOutputLimit.
//
// A value can hold a placeholder or a whole expression, and the notification
// step renders its body again while the text changes, so values alone could
// make a rendering grow without bound or repeat its work without end. Every
// byte the engine writes while rendering is counted against one budget per
// call, before the bytes are copied, so nothing grows past the budget before
// it is checked.
//
// Typical usage (an activity call that renders several templates):
//   RenderBudget budget;  // opened for the whole call
//   for (...) text = parser.ToString(text, expressions);  // each counts against it
//
// Threading: the budget is per thread; an engine entry point opens one when the
// calling thread has none, so a rendering outside any call has a budget of its own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// The budget of one call on the calling thread. The first RenderBudget a thread
// opens takes TemplateOutputLimit() as its size; one opened while another is
// open joins it, so that everything up to the outermost one's end counts once.
class RenderBudget {
 public:
  RenderBudget();
  ~RenderBudget();
  RenderBudget(const RenderBudget&) = delete;
  RenderBudget& operator=(const RenderBudget&) = delete;

  // Counts `bytes` about to be written; raises 7 (the output limit's error)
  // when the call's total would pass its limit, before anything is written.
  // REQUIRES: a budget is open on this thread.
  static void Charge(size_t bytes);
  // Counts `count` copies of `bytes`, checking before the product can overflow.
  static void ChargeCopies(size_t bytes, uint64_t count);
  // The bytes still allowed, and the size of the whole budget.
  static size_t Room();
  static size_t Limit();
};

// Every byte counted on this thread so far, for tests and benchmarks that
// measure how much work a rendering did.
uint64_t RenderedBytes();

// The most bytes one call may render (the platform's TemplateOutputLimit).
size_t TemplateOutputLimit();

// Raises 7 with a description that names the limit.
[[noreturn]] void RaiseOutputLimit(size_t limit);

}  // namespace corvane
