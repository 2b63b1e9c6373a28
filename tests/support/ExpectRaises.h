// ExpectRaises<E>(call, text): the test fails unless call() raises E with exactly the
// message text. ExpectRaisesContaining<E>(call, part): ... with a message that holds
// part. Both take an optional check that sees the exception for its other fields.
#pragma once

#include <gtest/gtest.h>

#include <source_location>
#include <string>

namespace expect_raises {

struct TNoCheck {
  template <typename E>
  void operator()(const E&) const {}
};

template <typename E, typename Call, typename Check>
void Run(Call&& call, const std::string& text, bool whole, Check&& check, const std::source_location& where) {
  const ::testing::ScopedTrace trace(where.file_name(), static_cast<int>(where.line()), "expected a raise here");
  try {
    call();
  } catch (const E& e) {
    const std::string message = e.what();
    if (whole) EXPECT_EQ(message, text);
    else EXPECT_NE(message.find(text), std::string::npos) << message;
    check(e);
    return;
  }
  ADD_FAILURE() << "nothing raised; expected: " << text;
}

}  // namespace expect_raises

template <typename E, typename Call, typename Check = expect_raises::TNoCheck>
void ExpectRaises(Call&& call, const std::string& text, Check&& check = {},
                  std::source_location where = std::source_location::current()) {
  expect_raises::Run<E>(call, text, true, check, where);
}

template <typename E, typename Call, typename Check = expect_raises::TNoCheck>
void ExpectRaisesContaining(Call&& call, const std::string& part, Check&& check = {},
                            std::source_location where = std::source_location::current()) {
  expect_raises::Run<E>(call, part, false, check, where);
}
