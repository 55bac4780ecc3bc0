#pragma once

#include <cstddef>

namespace tavlin {

namespace field_count_detail {

// Converts to any member type, so an aggregate accepts as many of these as it
// has members and no more.
struct AnyMember {
    template <typename T>
    operator T() const;  // never called: only asked about in requires-expressions
};

template <typename T, typename... Members>
consteval std::size_t CountMembers() {
    if constexpr (requires { T{Members{}..., AnyMember{}}; }) {
        return CountMembers<T, Members..., AnyMember>();
    } else {
        return sizeof...(Members);
    }
}

}  // namespace field_count_detail

// The number of data members of an aggregate. Code that copies one settings
// structure into another checks the counts of both with static_assert, so a
// field added to either side stops the build at the copy instead of being
// left out of it in silence.
template <typename T>
consteval std::size_t FieldCount() {
    return field_count_detail::CountMembers<T>();
}

}  // namespace tavlin
