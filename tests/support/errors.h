// The library's error as a host catches it: what a call raised, the error a call
// must raise, and its number alone for tables where some rows succeed.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <utility>

#include "pelmark/com.h"

namespace corvane_test {

// What `call` raised; nothing when it returned normally.
template <class F>
std::optional<pelmark::Error> RaisedBy(F&& call) {
  try {
    std::forward<F>(call)();
  } catch (const pelmark::Error& e) {
    return e;
  }
  return std::nullopt;
}

// The error `call` must raise; a test failure, and error 0, when it returns.
template <class F>
pelmark::Error ErrorOf(F&& call) {
  if (std::optional<pelmark::Error> e = RaisedBy(std::forward<F>(call))) return *e;
  ADD_FAILURE() << "the call raised no error";
  return pelmark::Error(0, "", "");
}

// The number of the error `call` raises; 0 when it returns normally.
template <class F>
int32_t ErrorNumberOf(F&& call) {
  std::optional<pelmark::Error> e = RaisedBy(std::forward<F>(call));
  return e ? e->number() : 0;
}

}  // namespace corvane_test
