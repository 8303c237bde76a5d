// The members of a struct of function pointers, one by one, without naming
// them: a test that must cover every entry of such a table (the system-call
// table) keeps covering it when entries are added.
//
// fieldCount<T>() counts the members by the most initialisers T{...} takes;
// tieFields(t) answers a std::tuple of references to them, in order.
#ifndef QORVEL_TESTS_SUPPORT_STRUCT_FIELDS_H
#define QORVEL_TESTS_SUPPORT_STRUCT_FIELDS_H

#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

namespace qtest {
namespace fields_detail {

// Converts to any member type in a brace initialiser; never called.
struct AnyMember {
    template <class T>
    operator T() const;
};

template <class T, class Sequence, class = void>
struct TakesInitialisers : std::false_type {};
template <class T, std::size_t... I>
struct TakesInitialisers<T, std::index_sequence<I...>,
                         std::void_t<decltype(T{(void(I), AnyMember{})...})>> : std::true_type {};

template <class T, std::size_t N>
constexpr std::size_t countFrom() {
    if constexpr (N > 64) {
        return N - 1;
    } else if constexpr (TakesInitialisers<T, std::make_index_sequence<N>>::value) {
        return countFrom<T, N + 1>();
    } else {
        return N - 1;
    }
}

}  // namespace fields_detail

template <class T>
constexpr std::size_t fieldCount() {
    return fields_detail::countFrom<T, 1>();
}

// QTEST_MEMBERS_N names N members, m0 to mN-1; QTEST_TIE(N) ties a struct
// of N members.
// clang-format off
#define QTEST_MEMBERS_1 m0
#define QTEST_MEMBERS_2 QTEST_MEMBERS_1, m1
#define QTEST_MEMBERS_3 QTEST_MEMBERS_2, m2
#define QTEST_MEMBERS_4 QTEST_MEMBERS_3, m3
#define QTEST_MEMBERS_5 QTEST_MEMBERS_4, m4
#define QTEST_MEMBERS_6 QTEST_MEMBERS_5, m5
#define QTEST_MEMBERS_7 QTEST_MEMBERS_6, m6
#define QTEST_MEMBERS_8 QTEST_MEMBERS_7, m7
#define QTEST_MEMBERS_9 QTEST_MEMBERS_8, m8
#define QTEST_MEMBERS_10 QTEST_MEMBERS_9, m9
#define QTEST_MEMBERS_11 QTEST_MEMBERS_10, m10
#define QTEST_MEMBERS_12 QTEST_MEMBERS_11, m11
#define QTEST_MEMBERS_13 QTEST_MEMBERS_12, m12
#define QTEST_MEMBERS_14 QTEST_MEMBERS_13, m13
#define QTEST_MEMBERS_15 QTEST_MEMBERS_14, m14
#define QTEST_MEMBERS_16 QTEST_MEMBERS_15, m15
#define QTEST_MEMBERS_17 QTEST_MEMBERS_16, m16
#define QTEST_MEMBERS_18 QTEST_MEMBERS_17, m17
#define QTEST_MEMBERS_19 QTEST_MEMBERS_18, m18
#define QTEST_MEMBERS_20 QTEST_MEMBERS_19, m19
#define QTEST_MEMBERS_21 QTEST_MEMBERS_20, m20
#define QTEST_MEMBERS_22 QTEST_MEMBERS_21, m21
#define QTEST_MEMBERS_23 QTEST_MEMBERS_22, m22
#define QTEST_MEMBERS_24 QTEST_MEMBERS_23, m23
#define QTEST_MEMBERS_25 QTEST_MEMBERS_24, m24
#define QTEST_MEMBERS_26 QTEST_MEMBERS_25, m25
#define QTEST_MEMBERS_27 QTEST_MEMBERS_26, m26
#define QTEST_MEMBERS_28 QTEST_MEMBERS_27, m27
#define QTEST_MEMBERS_29 QTEST_MEMBERS_28, m28
#define QTEST_MEMBERS_30 QTEST_MEMBERS_29, m29
#define QTEST_MEMBERS_31 QTEST_MEMBERS_30, m30
#define QTEST_MEMBERS_32 QTEST_MEMBERS_31, m31
#define QTEST_MEMBERS_33 QTEST_MEMBERS_32, m32
#define QTEST_MEMBERS_34 QTEST_MEMBERS_33, m33
#define QTEST_MEMBERS_35 QTEST_MEMBERS_34, m34
#define QTEST_MEMBERS_36 QTEST_MEMBERS_35, m35
#define QTEST_MEMBERS_37 QTEST_MEMBERS_36, m36
#define QTEST_MEMBERS_38 QTEST_MEMBERS_37, m37
#define QTEST_MEMBERS_39 QTEST_MEMBERS_38, m38
#define QTEST_MEMBERS_40 QTEST_MEMBERS_39, m39
#define QTEST_MEMBERS_41 QTEST_MEMBERS_40, m40
#define QTEST_MEMBERS_42 QTEST_MEMBERS_41, m41
#define QTEST_MEMBERS_43 QTEST_MEMBERS_42, m42
#define QTEST_MEMBERS_44 QTEST_MEMBERS_43, m43
#define QTEST_MEMBERS_45 QTEST_MEMBERS_44, m44
#define QTEST_MEMBERS_46 QTEST_MEMBERS_45, m45
#define QTEST_MEMBERS_47 QTEST_MEMBERS_46, m46
#define QTEST_MEMBERS_48 QTEST_MEMBERS_47, m47
#define QTEST_MEMBERS_49 QTEST_MEMBERS_48, m48
#define QTEST_MEMBERS_50 QTEST_MEMBERS_49, m49
#define QTEST_MEMBERS_51 QTEST_MEMBERS_50, m50
#define QTEST_MEMBERS_52 QTEST_MEMBERS_51, m51
#define QTEST_MEMBERS_53 QTEST_MEMBERS_52, m52
#define QTEST_MEMBERS_54 QTEST_MEMBERS_53, m53
#define QTEST_MEMBERS_55 QTEST_MEMBERS_54, m54
#define QTEST_MEMBERS_56 QTEST_MEMBERS_55, m55
#define QTEST_MEMBERS_57 QTEST_MEMBERS_56, m56
#define QTEST_MEMBERS_58 QTEST_MEMBERS_57, m57
#define QTEST_MEMBERS_59 QTEST_MEMBERS_58, m58
#define QTEST_MEMBERS_60 QTEST_MEMBERS_59, m59
#define QTEST_MEMBERS_61 QTEST_MEMBERS_60, m60
#define QTEST_MEMBERS_62 QTEST_MEMBERS_61, m61
#define QTEST_MEMBERS_63 QTEST_MEMBERS_62, m62
#define QTEST_MEMBERS_64 QTEST_MEMBERS_63, m63
#define QTEST_TIE(n)                         \
    else if constexpr (count == n) {         \
        auto& [QTEST_MEMBERS_##n] = t;       \
        return std::tie(QTEST_MEMBERS_##n);  \
    }
// clang-format on

template <class T>
auto tieFields(T& t) {
    constexpr std::size_t count = fieldCount<T>();
    static_assert(count >= 1 && count <= 64, "tieFields covers 1 to 64 members");
    if constexpr (false) {}
    // clang-format off
    QTEST_TIE(1) QTEST_TIE(2) QTEST_TIE(3) QTEST_TIE(4) QTEST_TIE(5) QTEST_TIE(6) QTEST_TIE(7)
    QTEST_TIE(8) QTEST_TIE(9) QTEST_TIE(10) QTEST_TIE(11) QTEST_TIE(12) QTEST_TIE(13) QTEST_TIE(14)
    QTEST_TIE(15) QTEST_TIE(16) QTEST_TIE(17) QTEST_TIE(18) QTEST_TIE(19) QTEST_TIE(20)
    QTEST_TIE(21) QTEST_TIE(22) QTEST_TIE(23) QTEST_TIE(24) QTEST_TIE(25) QTEST_TIE(26)
    QTEST_TIE(27) QTEST_TIE(28) QTEST_TIE(29) QTEST_TIE(30) QTEST_TIE(31) QTEST_TIE(32)
    QTEST_TIE(33) QTEST_TIE(34) QTEST_TIE(35) QTEST_TIE(36) QTEST_TIE(37) QTEST_TIE(38)
    QTEST_TIE(39) QTEST_TIE(40) QTEST_TIE(41) QTEST_TIE(42) QTEST_TIE(43) QTEST_TIE(44)
    QTEST_TIE(45) QTEST_TIE(46) QTEST_TIE(47) QTEST_TIE(48) QTEST_TIE(49) QTEST_TIE(50)
    QTEST_TIE(51) QTEST_TIE(52) QTEST_TIE(53) QTEST_TIE(54) QTEST_TIE(55) QTEST_TIE(56)
    QTEST_TIE(57) QTEST_TIE(58) QTEST_TIE(59) QTEST_TIE(60) QTEST_TIE(61) QTEST_TIE(62)
    QTEST_TIE(63) QTEST_TIE(64)
    // clang-format on
}

#undef QTEST_TIE

}  // namespace qtest

#endif  // QORVEL_TESTS_SUPPORT_STRUCT_FIELDS_H
