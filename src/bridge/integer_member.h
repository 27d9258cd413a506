#pragma once

#include <cmath>
#include <concepts>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>

// Integer members of page messages: every number the page sends is read through here.
//
// nlohmann::json's own get<T>() and value<T>() convert any number with a plain cast: a
// floating-point value outside T (a number too long for any integer is kept as a double) is
// undefined behaviour, and a negative or too large integer wraps.
//
// IntegerMember reads a member as the page's messages have always been read: a fraction is cut
// toward zero (12.9 is 12, -0.9 is 0), true and false are 1 and 0; only a value that T cannot hold
// after the cut is refused, with null, strings, arrays and objects. IntegerValue is stricter, for
// figures the host checks bytes against (an archive's size): an integer without fraction or
// exponent (the parser's integer kinds) that T can hold, and nothing else.

template <typename T>
concept PageInteger = std::integral<T> && !std::same_as<T, bool>;

// `member` as a T, or nullopt when it is refused.
template <PageInteger T>
std::optional<T> IntegerValue(const nlohmann::json& member) {
  if (member.is_number_unsigned()) {
    const auto value = member.get<nlohmann::json::number_unsigned_t>();
    if (std::in_range<T>(value)) return static_cast<T>(value);
  } else if (member.is_number_integer()) {
    const auto value = member.get<nlohmann::json::number_integer_t>();
    if (std::in_range<T>(value)) return static_cast<T>(value);
  }
  return std::nullopt;
}

// `member` as IntegerMember reads it, or nullopt when it is refused.
template <PageInteger T>
std::optional<T> TruncatedIntegerValue(const nlohmann::json& member) {
  if (member.is_boolean()) return static_cast<T>(member.get<bool>() ? 1 : 0);
  if (!member.is_number_float()) return IntegerValue<T>(member);
  // The bounds are powers of two, exact as doubles: [-2^digits, 2^digits) for a signed T,
  // [0, 2^digits) for an unsigned one.
  const double cut = std::trunc(member.get<nlohmann::json::number_float_t>());
  const double end = std::ldexp(1.0, std::numeric_limits<T>::digits);
  const double start = std::numeric_limits<T>::is_signed ? -end : 0.0;
  if (!(cut >= start && cut < end)) return std::nullopt;
  return static_cast<T>(cut);
}

// The member `key` of `object` as a T, `fallback` when absent: json::value() without its casts.
// A refused member raises nlohmann::json::type_error 302, as value() does for a member of the
// wrong type; a member that is no number keeps the library's own text ("type must be number,
// but is string"), a number says which range it missed. `object` not an object raises 306.
template <PageInteger T>
T IntegerMember(const nlohmann::json& object, const std::string& key, T fallback) {
  using nlohmann::json;
  if (!object.is_object()) {
    throw json::type_error::create(
        306, std::string("cannot use value() with ") + object.type_name(), &object);
  }
  const auto found = object.find(key);
  if (found == object.end()) return fallback;
  if (const std::optional<T> value = TruncatedIntegerValue<T>(*found)) return *value;
  if (!found->is_number()) {
    throw json::type_error::create(
        302, std::string("type must be number, but is ") + found->type_name(), &*found);
  }
  throw json::type_error::create(
      302,
      "number must be an integer from " + std::to_string(std::numeric_limits<T>::min()) + " to " +
          std::to_string(std::numeric_limits<T>::max()) + ", but is " + found->dump(),
      &*found);
}
