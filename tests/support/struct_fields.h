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

template <class T>
auto tieFields(T& t) {
    constexpr std::size_t count = fieldCount<T>();
    static_assert(count >= 1 && count <= 64, "tieFields covers 1 to 64 members");
    if constexpr (count == 1) {
        auto& [m0] = t;
        return std::tie(m0);
    } else if constexpr (count == 2) {
        auto& [m0, m1] = t;
        return std::tie(m0, m1);
    } else if constexpr (count == 3) {
        auto& [m0, m1, m2] = t;
        return std::tie(m0, m1, m2);
    } else if constexpr (count == 4) {
        auto& [m0, m1, m2, m3] = t;
        return std::tie(m0, m1, m2, m3);
    } else if constexpr (count == 5) {
        auto& [m0, m1, m2, m3, m4] = t;
        return std::tie(m0, m1, m2, m3, m4);
    } else if constexpr (count == 6) {
        auto& [m0, m1, m2, m3, m4, m5] = t;
        return std::tie(m0, m1, m2, m3, m4, m5);
    } else if constexpr (count == 7) {
        auto& [m0, m1, m2, m3, m4, m5, m6] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6);
    } else if constexpr (count == 8) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7);
    } else if constexpr (count == 9) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8);
    } else if constexpr (count == 10) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9);
    } else if constexpr (count == 11) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10);
    } else if constexpr (count == 12) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11);
    } else if constexpr (count == 13) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12);
    } else if constexpr (count == 14) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13);
    } else if constexpr (count == 15) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14);
    } else if constexpr (count == 16) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15);
    } else if constexpr (count == 17) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16);
    } else if constexpr (count == 18) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17);
    } else if constexpr (count == 19) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17,
               m18] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18);
    } else if constexpr (count == 20) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19);
    } else if constexpr (count == 21) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20);
    } else if constexpr (count == 22) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21);
    } else if constexpr (count == 23) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22);
    } else if constexpr (count == 24) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23);
    } else if constexpr (count == 25) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24);
    } else if constexpr (count == 26) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25);
    } else if constexpr (count == 27) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26);
    } else if constexpr (count == 28) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27);
    } else if constexpr (count == 29) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28);
    } else if constexpr (count == 30) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29);
    } else if constexpr (count == 31) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30);
    } else if constexpr (count == 32) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31);
    } else if constexpr (count == 33) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32);
    } else if constexpr (count == 34) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33);
    } else if constexpr (count == 35) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34);
    } else if constexpr (count == 36) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34,
               m35] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35);
    } else if constexpr (count == 37) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36);
    } else if constexpr (count == 38) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37);
    } else if constexpr (count == 39) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38);
    } else if constexpr (count == 40) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38, m39] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38, m39);
    } else if constexpr (count == 41) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38, m39, m40] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38, m39, m40);
    } else if constexpr (count == 42) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38, m39, m40, m41] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38, m39, m40, m41);
    } else if constexpr (count == 43) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38, m39, m40, m41, m42] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38, m39, m40, m41, m42);
    } else if constexpr (count == 44) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38, m39, m40, m41, m42, m43] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38, m39, m40, m41, m42, m43);
    } else if constexpr (count == 45) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38, m39, m40, m41, m42, m43, m44] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38, m39, m40, m41, m42, m43, m44);
    } else if constexpr (count == 46) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38, m39, m40, m41, m42, m43, m44, m45] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38, m39, m40, m41, m42, m43, m44, m45);
    } else if constexpr (count == 47) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46);
    } else if constexpr (count == 48) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46, m47] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46,
                        m47);
    } else if constexpr (count == 49) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46, m47, m48] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46,
                        m47, m48);
    } else if constexpr (count == 50) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46, m47, m48, m49] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46,
                        m47, m48, m49);
    } else if constexpr (count == 51) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46, m47, m48, m49, m50] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46,
                        m47, m48, m49, m50);
    } else if constexpr (count == 52) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46, m47, m48, m49, m50, m51] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46,
                        m47, m48, m49, m50, m51);
    } else if constexpr (count == 53) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46, m47, m48, m49, m50, m51,
               m52] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46,
                        m47, m48, m49, m50, m51, m52);
    } else if constexpr (count == 54) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46, m47, m48, m49, m50, m51, m52,
               m53] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46,
                        m47, m48, m49, m50, m51, m52, m53);
    } else if constexpr (count == 55) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46, m47, m48, m49, m50, m51, m52,
               m53, m54] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46,
                        m47, m48, m49, m50, m51, m52, m53, m54);
    } else if constexpr (count == 56) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46, m47, m48, m49, m50, m51, m52,
               m53, m54, m55] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46,
                        m47, m48, m49, m50, m51, m52, m53, m54, m55);
    } else if constexpr (count == 57) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46, m47, m48, m49, m50, m51, m52,
               m53, m54, m55, m56] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46,
                        m47, m48, m49, m50, m51, m52, m53, m54, m55, m56);
    } else if constexpr (count == 58) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46, m47, m48, m49, m50, m51, m52,
               m53, m54, m55, m56, m57] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46,
                        m47, m48, m49, m50, m51, m52, m53, m54, m55, m56, m57);
    } else if constexpr (count == 59) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46, m47, m48, m49, m50, m51, m52,
               m53, m54, m55, m56, m57, m58] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46,
                        m47, m48, m49, m50, m51, m52, m53, m54, m55, m56, m57, m58);
    } else if constexpr (count == 60) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46, m47, m48, m49, m50, m51, m52,
               m53, m54, m55, m56, m57, m58, m59] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46,
                        m47, m48, m49, m50, m51, m52, m53, m54, m55, m56, m57, m58, m59);
    } else if constexpr (count == 61) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46, m47, m48, m49, m50, m51, m52,
               m53, m54, m55, m56, m57, m58, m59, m60] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46,
                        m47, m48, m49, m50, m51, m52, m53, m54, m55, m56, m57, m58, m59, m60);
    } else if constexpr (count == 62) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46, m47, m48, m49, m50, m51, m52,
               m53, m54, m55, m56, m57, m58, m59, m60, m61] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46,
                        m47, m48, m49, m50, m51, m52, m53, m54, m55, m56, m57, m58, m59, m60, m61);
    } else if constexpr (count == 63) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46, m47, m48, m49, m50, m51, m52,
               m53, m54, m55, m56, m57, m58, m59, m60, m61, m62] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46,
                        m47, m48, m49, m50, m51, m52, m53, m54, m55, m56, m57, m58, m59, m60, m61,
                        m62);
    } else if constexpr (count == 64) {
        auto& [m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16, m17, m18,
               m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31, m32, m33, m34, m35,
               m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46, m47, m48, m49, m50, m51, m52,
               m53, m54, m55, m56, m57, m58, m59, m60, m61, m62, m63] = t;
        return std::tie(m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15, m16,
                        m17, m18, m19, m20, m21, m22, m23, m24, m25, m26, m27, m28, m29, m30, m31,
                        m32, m33, m34, m35, m36, m37, m38, m39, m40, m41, m42, m43, m44, m45, m46,
                        m47, m48, m49, m50, m51, m52, m53, m54, m55, m56, m57, m58, m59, m60, m61,
                        m62, m63);
    }
}

}  // namespace qtest

#endif  // QORVEL_TESTS_SUPPORT_STRUCT_FIELDS_H
