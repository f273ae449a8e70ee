// What the fuzz targets share: a reader that turns the fuzzer's bytes into
// arguments (small indices and boundaries more often than raw values, and
// the doubles that break arithmetic: NaN, infinities, huge and tiny values),
// generic calls of exported C functions with arguments drawn by parameter
// type, and the check that reports a broken contract as a crash.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <tuple>
#include <type_traits>
#include <utility>

// A broken contract: print it and abort, which the fuzzer and the replay
// program both report as a failure of the input.
#define FUZZ_CHECK(cond, ...)                                                               \
  do {                                                                                      \
    if (!(cond)) {                                                                          \
      std::fprintf(stderr, "contract broken: %s (%s:%d)\n    ", #cond, __FILE__, __LINE__); \
      std::fprintf(stderr, __VA_ARGS__);                                                    \
      std::fprintf(stderr, "\n");                                                           \
      std::abort();                                                                         \
    }                                                                                       \
  } while (0)

namespace fuzz {

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : p_(data), n_(size) {}

  bool empty() const { return n_ == 0; }
  std::size_t left() const { return n_; }

  std::uint8_t byte() {
    if (n_ == 0) return 0;
    --n_;
    return *p_++;
  }
  template <class T>
  T raw() {
    T v{};
    unsigned char b[sizeof(T)]{};
    for (auto& c : b)
      c = byte();
    std::memcpy(&v, b, sizeof v);
    return v;
  }
  // 0 .. n-1.
  unsigned pick(unsigned n) { return n == 0 ? 0 : byte() % n; }
  bool flag() { return (byte() & 1) != 0; }

  // An integer of type T: mostly small (0..7), often a boundary of the
  // library's ranges or of T, sometimes raw.
  template <class T>
  T integer() {
    static constexpr long long kEdges[] = {-1,   5,    6,     11,    12,    63,    71,
                                           72,   100,  127,   128,   200,   255,   256,
                                           2048, 2049, 29999, 30000, 32767, 32768, 65535};
    const std::uint8_t sel = byte();
    if (sel < 128) return static_cast<T>(sel % 8);
    if (sel < 208) return static_cast<T>(kEdges[sel % std::size(kEdges)]);
    if (sel < 224) {
      return (sel & 1) ? std::numeric_limits<T>::max() : std::numeric_limits<T>::min();
    }
    return raw<T>();
  }

  // A double: mostly a modest number, often one that breaks arithmetic.
  double number() {
    const std::uint8_t sel = byte();
    switch (sel % 16) {
      case 0:
        return std::numeric_limits<double>::quiet_NaN();
      case 1:
        return (sel & 16) ? std::numeric_limits<double>::infinity()
                          : -std::numeric_limits<double>::infinity();
      case 2:
        return (sel & 16) ? 1e300 : -1e300;
      case 3:
        return (sel & 16) ? std::numeric_limits<double>::denorm_min() : -0.0;
      case 4:
        return raw<double>();
      case 5:
        return static_cast<double>(raw<std::int32_t>());
      default: {
        // -12.7 .. 12.8 in steps of 0.1, or whole numbers up to +-127
        const auto v = static_cast<std::int8_t>(byte());
        return (sel & 32) ? v : v / 10.0;
      }
    }
  }

 private:
  const std::uint8_t* p_;
  std::size_t n_;
};

// Argument drawing by parameter type. Pointer parameters get scratch
// buffers, sometimes null; `Scratch` holds them until the call returns.
struct Scratch {
  alignas(16) unsigned char bytes[8][4096]{};
  int used = 0;
  void* next(Input& in, std::size_t size) {
    if (used == 8 || size > sizeof bytes[0]) return nullptr;
    unsigned char* b = bytes[used++];
    // Filled with a pattern so that an output left untouched can be told.
    std::memset(b, 0xA5, sizeof bytes[0]);
    // Records read by the callee are sometimes filled from the input.
    if (in.pick(4) == 0)
      for (std::size_t i = 0; i < size; ++i)
        b[i] = in.byte();
    return b;
  }
};

template <class T>
struct Draw {
  static T get(Input& in, Scratch&) {
    if constexpr (std::is_same_v<T, double>) {
      return in.number();
    } else if constexpr (std::is_same_v<T, float>) {
      return static_cast<float>(in.number());
    } else if constexpr (std::is_same_v<T, char>) {
      static constexpr char kChars[] = {'S', 'T', 's', 't', 0, 'x', '\xff'};
      return kChars[in.pick(sizeof kChars)];
    } else {
      return in.integer<T>();
    }
  }
};
template <class T>
struct Draw<T*> {
  static T* get(Input& in, Scratch& s) {
    if (in.pick(16) == 0) return nullptr;
    if constexpr (std::is_function_v<T>) {
      return nullptr;  // routines are drawn by the target
    } else {
      using U = std::remove_const_t<T>;
      return static_cast<U*>(s.next(in, sizeof(std::conditional_t<std::is_void_v<U>, char, U>)));
    }
  }
};

// Calls fn with arguments drawn by type; returns its result (0 for void).
template <class R, class... A>
auto call(Input& in, R (*fn)(A...)) {
  Scratch s;
  std::tuple<std::decay_t<A>...> args{Draw<std::decay_t<A>>::get(in, s)...};
  if constexpr (std::is_void_v<R>) {
    std::apply(fn, args);
    return 0;
  } else {
    return std::apply(fn, args);
  }
}

// Whether any double or float argument of the tuple is not finite.
template <class Tuple>
bool anyNonFinite(const Tuple& t) {
  return std::apply(
      [](const auto&... v) {
        return (... || [](const auto& x) {
          if constexpr (std::is_floating_point_v<std::decay_t<decltype(x)>>)
            return !std::isfinite(x);
          else
            return false;
        }(v));
      },
      t);
}

}  // namespace fuzz
