// What host and module must agree on to share C++ types across the module
// boundary. Interfaces pass std::string, std::span, pelmark::Variant and throw
// pelmark::Error, so both sides need the same language standard (C++20 or
// later), the same standard library and the same std::string layout. With
// libstdc++ that means the same _GLIBCXX_USE_CXX11_ABI setting (the default, 1).
//
// PELMARK_CONTRACT_VERSION counts incompatible changes of the interfaces in
// pelmark/ and corvane/. PELMARK_ABI_TAG describes the translation unit that
// includes this header; the module records its own, and the loader
// (corvane/loader.h) compares both before it hands out a single object.
#pragma once

#include <cstddef>  // defines the standard library's configuration macros

#if __cplusplus < 202002L
#error "The Pelmark contract needs C++20 or later (-std=c++20)."
#endif

#define PELMARK_CONTRACT_VERSION 7

#if defined(_LIBCPP_VERSION)
#define PELMARK_STDLIB_TAG "libc++"
#elif defined(__GLIBCXX__) && _GLIBCXX_USE_CXX11_ABI
#define PELMARK_STDLIB_TAG "libstdc++ with the C++11 string ABI (_GLIBCXX_USE_CXX11_ABI=1)"
#elif defined(__GLIBCXX__)
#define PELMARK_STDLIB_TAG "libstdc++ with the old string ABI (_GLIBCXX_USE_CXX11_ABI=0)"
#else
#define PELMARK_STDLIB_TAG "an unknown standard library"
#endif

#define PELMARK_ABI_TAG PELMARK_STDLIB_TAG ", C++20"
