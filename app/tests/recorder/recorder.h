// A recording stand-in of the motion library, for the operator program's
// tests: a shared library with every exported name of varnelpci.h (both
// forms, generated), each of which records its call and answers what the
// test set for it. Tests link it and hand its file to the binding, so the
// program's calls land here.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "varnelpci.h"

#define VNL_RECORDER_API __attribute__((visibility("default")))

namespace vnl_recorder {

// One argument: its value (numbers and characters), or the pointer it was.
struct Argument {
  double value = 0;
  void* pointer = nullptr;
};

struct Call {
  std::string name;
  std::vector<Argument> args;
  // Copies of the records passed by address.
  std::optional<CardConfig> cardConfig;
  std::optional<MACHINE_PARAM> machineParam;

  double arg(std::size_t i) const { return args.at(i).value; }
  template <typename T>
  T* out(std::size_t i) const {
    return static_cast<T*>(args.at(i).pointer);
  }

  template <typename T>
  void add(T v) {
    if constexpr (std::is_same_v<T, const CardConfig*>) {
      if (v) cardConfig = *v;
      args.push_back({0, const_cast<CardConfig*>(v)});
    } else if constexpr (std::is_same_v<T, const MACHINE_PARAM*>) {
      if (v) machineParam = *v;
      args.push_back({0, const_cast<MACHINE_PARAM*>(v)});
    } else if constexpr (std::is_pointer_v<T> && std::is_function_v<std::remove_pointer_t<T>>) {
      args.push_back({0, reinterpret_cast<void*>(v)});
    } else if constexpr (std::is_pointer_v<T>) {
      args.push_back({0, const_cast<void*>(static_cast<const void*>(v))});
    } else {
      args.push_back({static_cast<double>(v), nullptr});
    }
  }
};

// What a function answers: its value is the call's result (converted to the
// function's result type); it may also write through the call's pointers.
using Handler = std::function<double(const Call&)>;

VNL_RECORDER_API std::vector<Call> calls();
// The calls of one function, in order.
VNL_RECORDER_API std::vector<Call> callsOf(const std::string& name);
// The names called, in order ("VNL_SetIncrease", ...).
VNL_RECORDER_API std::vector<std::string> names();
VNL_RECORDER_API void clearCalls();
// Every function answers 0 and writes nothing until told otherwise.
VNL_RECORDER_API void setResult(const std::string& name, double value);
VNL_RECORDER_API void setHandler(const std::string& name, Handler handler);
VNL_RECORDER_API void reset();  // calls, results and handlers

VNL_RECORDER_API double dispatch(Call& call);

template <typename R, typename... A>
R record(const char* name, A... a) {
  Call call{name, {}, {}, {}};
  (call.add(a), ...);
  const double result = dispatch(call);
  if constexpr (std::is_void_v<R>) {
    return;
  } else if constexpr (std::is_pointer_v<R>) {
    return nullptr;
  } else {
    return static_cast<R>(result);
  }
}

}  // namespace vnl_recorder
