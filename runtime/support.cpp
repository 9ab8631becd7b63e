// What the compiler and the standard library headers call into when the
// code is built without exceptions: each way of failing ends the current
// guarded call (see runtime/guard.h), never the process that loaded us.
#include <string>

#include "runtime/startup.h"

extern "C" {
[[noreturn]] void abort() { mdm::rt::AbandonCall(); }
[[noreturn]] void __cxa_pure_virtual() { mdm::rt::AbandonCall(); }
}

namespace std {
[[noreturn]] void __throw_bad_alloc() { mdm::rt::AbandonCall(); }
[[noreturn]] void __throw_bad_array_new_length() { mdm::rt::AbandonCall(); }
[[noreturn]] void __throw_bad_function_call() { mdm::rt::AbandonCall(); }
[[noreturn]] void __throw_length_error(const char*) { mdm::rt::AbandonCall(); }
[[noreturn]] void __throw_logic_error(const char*) { mdm::rt::AbandonCall(); }
[[noreturn]] void __throw_out_of_range(const char*) { mdm::rt::AbandonCall(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { mdm::rt::AbandonCall(); }
[[noreturn]] void __throw_invalid_argument(const char*) { mdm::rt::AbandonCall(); }

// The string class is instantiated here once: the images link no libstdc++.
template class basic_string<char>;
}  // namespace std
