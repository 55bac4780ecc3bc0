#pragma once

#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

namespace tavlin {

// One field of A beside the field of B it is copied to and from.
template <typename A, typename FieldA, typename B, typename FieldB>
struct FieldPair {
    FieldA A::*a;
    FieldB B::*b;
};

template <typename A, typename FieldA, typename B, typename FieldB>
constexpr FieldPair<A, FieldA, B, FieldB> Pair(FieldA A::*a, FieldB B::*b) {
    return {a, b};
}

// A list of field pairs between two structures, written once and walked in
// both directions, so a copy and its way back cannot disagree. Flags stored
// as integers on one side and as bool on the other convert as 0 / 1.
template <typename... Pairs>
class FieldMap {
  public:
    constexpr explicit FieldMap(Pairs... pairs) : pairs_(pairs...) {}

    static constexpr std::size_t Size() { return sizeof...(Pairs); }

    template <typename A, typename B>
    void CopyToA(A& a, const B& b) const {
        std::apply([&](const auto&... p) { (Assign(a.*(p.a), b.*(p.b)), ...); }, pairs_);
    }
    template <typename A, typename B>
    void CopyToB(const A& a, B& b) const {
        std::apply([&](const auto&... p) { (Assign(b.*(p.b), a.*(p.a)), ...); }, pairs_);
    }

  private:
    template <typename To, typename From>
    static void Assign(To& to, const From& from) {
        to = static_cast<To>(from);
    }

    std::tuple<Pairs...> pairs_;
};

}  // namespace tavlin
