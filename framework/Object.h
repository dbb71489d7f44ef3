// The root of the class tree (what an event's Sender points at) and the framework's exception base.
#pragma once

#include <exception>
#include <string>

namespace framework {

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};

// Base of every exception the framework and the components raise. The message is an ANSI byte
// string (code page 932 for the fixed Japanese texts).
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

}  // namespace framework
