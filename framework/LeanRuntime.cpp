// Lighter stand-ins for parts of the C++ runtime that a statically linked GUI exe pays for without
// use, linked into the shipped programs as an object (not from an archive), so the runtime's own
// definitions are never pulled in:
// - the terminate handler: the default one writes the uncaught exception's demangled type to a
//   console a GUI program lacks, and so brings the whole demangler;
// - the functions the standard headers call to throw on a broken precondition (a position past a
//   string's end, a size beyond max_size). The runtime's versions build std::logic_error and its
//   kin, whose message member is a reference-counted string with a second copy of the string code.
//   These throw one small std::exception with the same message instead; nothing in the product
//   catches those types by name. Allocation failures still throw std::bad_alloc;
// - the type check behind std::get_deleter on a std::make_shared block (see below).
#include <cstdarg>
#include <cstddef>
#include <cstdlib>
#include <exception>
#include <memory>
#include <new>
#include <typeinfo>

namespace {

class PreconditionError : public std::exception {
 public:
  explicit PreconditionError(const char* message) { Append(message); }
  // The headers' formats use only %s, %zu and %%, like the runtime's own small formatter.
  PreconditionError(const char* format, va_list arguments) {
    for (const char* p = format; *p != '\0' && length_ < kCapacity; ++p) {
      if (p[0] != '%' || p[1] == '\0') {
        Put(*p);
      } else if (p[1] == 's') {
        Append(va_arg(arguments, const char*));
        ++p;
      } else if (p[1] == 'z' && p[2] == 'u') {
        AppendNumber(va_arg(arguments, size_t));
        p += 2;
      } else {
        Put(p[1]);  // "%%"
        ++p;
      }
    }
  }
  const char* what() const noexcept override { return message_; }

 private:
  static constexpr size_t kCapacity = 255;
  void Put(char c) {
    if (length_ < kCapacity) message_[length_++] = c;
  }
  void Append(const char* text) {
    while (text != nullptr && *text != '\0') Put(*text++);
  }
  void AppendNumber(size_t value) {
    char digits[24];
    int count = 0;
    do {
      digits[count++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    while (count > 0) Put(digits[--count]);
  }

  char message_[kCapacity + 1] = {};  // a fixed buffer: copying the exception cannot fail
  size_t length_ = 0;
};

}  // namespace

// Declared in <exception>.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// The signatures are the ones <bits/functexcept.h> declares.
namespace std {
void __throw_bad_exception() { throw std::bad_exception(); }
void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_array_new_length(); }
void __throw_bad_cast() { throw std::bad_cast(); }
void __throw_bad_typeid() { throw std::bad_typeid(); }
void __throw_logic_error(const char* message) { throw PreconditionError(message); }
void __throw_domain_error(const char* message) { throw PreconditionError(message); }
void __throw_invalid_argument(const char* message) { throw PreconditionError(message); }
void __throw_length_error(const char* message) { throw PreconditionError(message); }
void __throw_out_of_range(const char* message) { throw PreconditionError(message); }
void __throw_out_of_range_fmt(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  PreconditionError error(format, arguments);
  va_end(arguments);
  throw error;
}
void __throw_runtime_error(const char* message) { throw PreconditionError(message); }
void __throw_range_error(const char* message) { throw PreconditionError(message); }
void __throw_overflow_error(const char* message) { throw PreconditionError(message); }
void __throw_underflow_error(const char* message) { throw PreconditionError(message); }
}  // namespace std

// A make_shared block answers get_deleter with its object for the header's private tag type. The
// header first compares the argument with the tag's address, which is all a program built without
// run-time type information can pass (get_deleter needs typeid); only a caller with type information
// could pass the tag's real type_info, and the shipped programs have none. The runtime's version
// compares type names and brings a hash function and a mutex pool with it (3 KB). A program that
// takes the runtime's shared_ptr object anyway (std::bad_weak_ptr lives there: shared_from_this, a
// shared_ptr made from a weak_ptr) fails to link on the duplicate name rather than mixing the two.
bool std::_Sp_make_shared_tag::_S_eq(const std::type_info&) noexcept { return false; }
