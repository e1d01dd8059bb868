// The public functions of the base library that zpi50 calls, each with the
// base library's own name for it: the same function in the namespace
// zbase_internal::own (zbase_own_names.cpp defines each there, passing the
// call on; the two printf-like ones are defined beside their public
// names, process.cpp). A program's own function of a public name (its
// `long getmem(void)`, its `ThrowInvalidArg` that throws something else)
// is exported by the linker when a library it links calls that name, and
// the library's calls would then run it; no program defines these names
// by accident. Not installed.
//
// Compiled into zpi50 this header comes first (CMakeLists.txt: -include),
// and declares each of these functions with its own name as the name the
// assembler gives it: the installed headers' declarations that follow
// keep that name, so every call of zpi50 reaches the base library's own
// name and the code names the functions as the installed headers do. In
// the base library (ZBASE50_BUILD) it is the list only.
//
// In the base library it declares the functions of zbase_internal::own
// under the same symbols, so each definition there bears the very symbol
// that zpi50 calls for its function, whatever the compiler would have
// named it. A function that zpi50 newly calls joins the list with the
// symbol the compiler gives it in zbase_internal::own, which the install
// stage reads back as the public name (a test checks each);
// scripts/abi.sh imports fails while one is called by its public name.
#pragma once

#include "zbase_export.h"

#include <cstddef>
#include <cstdint>
#include <string>

class KColorRGB;
class KCommon_i;
class KCommon_j;
class KPoint3D;
class KPointUV;
class KVector3D;
class xobject;
class xrtti;
class xrttienum;
class xrttiobject;
class xthrowable;
template <class T> class xrchandle;

// C(return type, name, (parameters), (arguments), own symbol): a C function;
// CXX(...): a C++ function; NORETURN(name, (parameters), (arguments), own
// symbol): a C++ function that does not return; PRINTF(name, own symbol):
// void name(const char* format, ...), formatted as printf does.
#define ZBASE_OWN_NAMES(C, CXX, NORETURN, PRINTF)                                                   \
    C(void, init_memory, (void), (), "_ZN14zbase_internal3own11init_memoryEv")                      \
    C(void*, getmem, (size_t size), (size), "_ZN14zbase_internal3own6getmemEm")                     \
    C(void, rlsmem, (void* block), (block), "_ZN14zbase_internal3own6rlsmemEPv")                    \
    C(void, relmem, (void* block), (block), "_ZN14zbase_internal3own6relmemEPv")                    \
    C(void*, xar_alloc, (int count, int elem_size, int growth), (count, elem_size, growth),         \
      "_ZN14zbase_internal3own9xar_allocEiii")                                                      \
    C(int, xar_count, (const void* arr), (arr), "_ZN14zbase_internal3own9xar_countEPKv")            \
    C(int, xar_elem_size, (const void* arr), (arr), "_ZN14zbase_internal3own13xar_elem_sizeEPKv")   \
    C(int, xar_append, (void** parr, int n, const void* elems), (parr, n, elems),                   \
      "_ZN14zbase_internal3own10xar_appendEPPviPKv")                                                \
    C(int, xar_alloc_or_append, (void** parr, int elem_size, int growth, int n, const void* elems), \
      (parr, elem_size, growth, n, elems), "_ZN14zbase_internal3own19xar_alloc_or_appendEPPviiiPKv") \
    C(int, xar_remove, (void** parr, int index, int n), (parr, index, n),                           \
      "_ZN14zbase_internal3own10xar_removeEPPvii")                                                  \
    C(int, xar_resize, (void** parr, int n), (parr, n), "_ZN14zbase_internal3own10xar_resizeEPPvi") \
    C(int, xar_extend, (void** parr, int n, void** first), (parr, n, first),                        \
      "_ZN14zbase_internal3own10xar_extendEPPviS2_")                                                \
    C(int, xar_cpy, (void** pdst, const void* src), (pdst, src),                                    \
      "_ZN14zbase_internal3own7xar_cpyEPPvPKv")                                                     \
    C(void, xar_free, (void** parr), (parr), "_ZN14zbase_internal3own8xar_freeEPPv")                \
    C(int, xar_max_count_get, (int elem_size), (elem_size),                                         \
      "_ZN14zbase_internal3own17xar_max_count_getEi")                                               \
    C(void*, har_alloc, (int entry_size, int page_size), (entry_size, page_size),                   \
      "_ZN14zbase_internal3own9har_allocEii")                                                       \
    C(int, har_total, (const void* har), (har), "_ZN14zbase_internal3own9har_totalEPKv")            \
    C(int, har_append, (void** phar, const void* entry), (phar, entry),                             \
      "_ZN14zbase_internal3own10har_appendEPPvPKv")                                                 \
    C(void*, har_access, (const void* har, int index, int* page, int* offset),                      \
      (har, index, page, offset), "_ZN14zbase_internal3own10har_accessEPKviPiS3_")                  \
    C(int, har_resize, (void** phar, int n), (phar, n), "_ZN14zbase_internal3own10har_resizeEPPvi") \
    C(int, har_copy, (void** pdst, const void* src), (pdst, src),                                   \
      "_ZN14zbase_internal3own8har_copyEPPvPKv")                                                    \
    C(void, har_free, (void** phar), (phar), "_ZN14zbase_internal3own8har_freeEPPv")               \
    C(int, har_entry_size, (const void* har), (har), "_ZN14zbase_internal3own14har_entry_sizeEPKv") \
    C(int, QelArrayAlloc, (int count, int elem_size, int growth, void** out),                       \
      (count, elem_size, growth, out), "_ZN14zbase_internal3own13QelArrayAllocEiiiPPv")             \
    C(int, QelArraySizeGet, (const void* arr, int* size), (arr, size),                              \
      "_ZN14zbase_internal3own15QelArraySizeGetEPKvPi")                                             \
    C(int, QelArrayObjectAdd, (void** parr, int position, int n, const void* objects),              \
      (parr, position, n, objects), "_ZN14zbase_internal3own17QelArrayObjectAddEPPviiPKv")          \
    C(int, QelArrayFree, (void** parr), (parr), "_ZN14zbase_internal3own12QelArrayFreeEPPv")        \
    C(uint32_t, binary_srch_array,                                                                  \
      (int count, int (*cmp)(const void*, const void*), int elem_size, const void* key,             \
       const void* array),                                                                          \
      (count, cmp, elem_size, key, array),                                                          \
      "_ZN14zbase_internal3own17binary_srch_arrayEiPFiPKvS2_EiS2_S2_")                              \
    C(void, xrcattach, (xobject * obj), (obj), "_ZN14zbase_internal3own9xrcattachEP7xobject")       \
    C(void, xrcrelease, (xobject * obj), (obj), "_ZN14zbase_internal3own10xrcreleaseEP7xobject")    \
    C(void, xrcuniattach, (xobject * obj), (obj), "_ZN14zbase_internal3own12xrcuniattachEP7xobject") \
    C(void, xrcunirelease, (xobject * obj), (obj),                                                  \
      "_ZN14zbase_internal3own13xrcunireleaseEP7xobject")                                           \
    NORETURN(xthrow, (xthrowable * thrown), (thrown), "_ZN14zbase_internal3own6xthrowEP10xthrowable") \
    NORETURN(ThrowSimple, (int status), (status), "_ZN14zbase_internal3own11ThrowSimpleEi")         \
    NORETURN(ThrowSimple, (int status, const std::string& reason), (status, reason),                \
             "_ZN14zbase_internal3own11ThrowSimpleEiRKNSt7__cxx1112basic_stringIcSt11char_"         \
             "traitsIcESaIcEEE")                                                                    \
    NORETURN(ThrowInvalidArg, (int index, int code), (index, code),                                 \
             "_ZN14zbase_internal3own15ThrowInvalidArgEii")                                         \
    NORETURN(ciphThrowNegativeIndex, (int index), (index),                                          \
             "_ZN14zbase_internal3own22ciphThrowNegativeIndexEi")                                   \
    NORETURN(ciphThrowInvalidSeqIndex, (xobject * sequence, int index), (sequence, index),          \
             "_ZN14zbase_internal3own24ciphThrowInvalidSeqIndexEP7xobjecti")                        \
    NORETURN(_btkAbort, (const char* message, const char* file, int line), (message, file, line),   \
             "_ZN14zbase_internal3own9_btkAbortEPKcS2_i")                                           \
    CXX(bool, KGetZorvanJournaling, (), (), "_ZN14zbase_internal3own20KGetZorvanJournalingEv")      \
    CXX(void, KSetZorvanJournaling, (bool on), (on),                                                \
        "_ZN14zbase_internal3own20KSetZorvanJournalingEb")                                          \
    CXX(void, NotifySessionCreated, (), (), "_ZN14zbase_internal3own20NotifySessionCreatedEv")      \
    CXX(void, disable_msg_put, (int disable), (disable),                                            \
        "_ZN14zbase_internal3own15disable_msg_putEi")                                               \
    CXX(int, uni_register_kernel_location, (), (),                                                  \
        "_ZN14zbase_internal3own28uni_register_kernel_locationEv")                                  \
    CXX(int, uni_register_bnfs_location, (), (),                                                    \
        "_ZN14zbase_internal3own26uni_register_bnfs_locationEv")                                    \
    CXX(const char*, btk_getenv, (const char* name), (name),                                        \
        "_ZN14zbase_internal3own10btk_getenvEPKc")                                                  \
    CXX(bool, btk_number_from_text, (const char* text, bool blanksAround, double& value),           \
        (text, blanksAround, value), "_ZN14zbase_internal3own20btk_number_from_textEPKcbRd")       \
    CXX(int, get_run_mode, (), (), "_ZN14zbase_internal3own12get_run_modeEv")                       \
    CXX(const xrtti*, cipGetRtti_int, (), (), "_ZN14zbase_internal3own14cipGetRtti_intEv")          \
    CXX(const xrtti*, cipGetRtti_real, (), (), "_ZN14zbase_internal3own15cipGetRtti_realEv")        \
    CXX(const xrtti*, cipGetRtti_string, (), (), "_ZN14zbase_internal3own17cipGetRtti_stringEv")    \
    CXX(const xrtti*, cipGetRtti_any, (), (), "_ZN14zbase_internal3own14cipGetRtti_anyEv")          \
    CXX(const xrttiobject*, cipGetRtti_object, (), (),                                              \
        "_ZN14zbase_internal3own17cipGetRtti_objectEv")                                             \
    CXX(void, cipRttiAddToMap, (const xrtti* type), (type),                                         \
        "_ZN14zbase_internal3own15cipRttiAddToMapEPK5xrtti")                                        \
    CXX(const xrttienum*, cipGetRtti_KTraversal, (), (),                                            \
        "_ZN14zbase_internal3own21cipGetRtti_KTraversalEv")                                         \
    CXX(xrchandle<KPoint3D>, KCreatePoint3D, (double x, double y, double z), (x, y, z),             \
        "_ZN14zbase_internal3own14KCreatePoint3DEddd")                                              \
    CXX(xrchandle<KVector3D>, KCreateVector3D, (double x, double y, double z), (x, y, z),           \
        "_ZN14zbase_internal3own15KCreateVector3DEddd")                                             \
    CXX(xrchandle<KPointUV>, KCreatePointUV, (double u, double v), (u, v),                          \
        "_ZN14zbase_internal3own14KCreatePointUVEdd")                                               \
    CXX(xrchandle<KColorRGB>, KCreateColorRGB, (double r, double g, double b), (r, g, b),           \
        "_ZN14zbase_internal3own15KCreateColorRGBEddd")                                             \
    CXX(void, KRegisterJournalWrapperMaker,                                                         \
        (const xrttiobject* type, KCommon_j* (*maker)(KCommon_i*)), (type, maker),                  \
        "_ZN14zbase_internal3own28KRegisterJournalWrapperMakerEPK11xrttiobjectPFP9KCommon_"         \
        "jP9KCommon_iE")                                                                            \
    CXX(const std::string&, kkJournalClassName, (const xrttiobject* type), (type),                  \
        "_ZN14zbase_internal3own18kkJournalClassNameB5cxx11EPK11xrttiobject")                       \
    CXX(bool, kkJournalSetFile, (const char* path, std::string* why), (path, why),                  \
        "_ZN14zbase_internal3own16kkJournalSetFileEPKcPNSt7__cxx1112basic_stringIcSt11char_"        \
        "traitsIcESaIcEEE")                                                                         \
    PRINTF(dbg_print_info, "_ZN14zbase_internal3own14dbg_print_infoEPKcz")                          \
    PRINTF(btk_tell, "_ZN14zbase_internal3own8btk_tellEPKcz")

#if !defined(ZBASE50_BUILD)
#define ZBASE_OWN_DECLARE_C(type, name, params, args, symbol)                                       \
    extern "C" ZBASE_API type name params __asm__(symbol);
#define ZBASE_OWN_DECLARE_CXX(type, name, params, args, symbol) ZBASE_API type name params __asm__(symbol);
#define ZBASE_OWN_DECLARE_NORETURN(name, params, args, symbol)                                      \
    [[noreturn]] ZBASE_API void name params __asm__(symbol);
#define ZBASE_OWN_DECLARE_PRINTF(name, symbol)                                                      \
    ZBASE_API void name(const char* format, ...) __asm__(symbol) __attribute__((format(printf, 1, 2)));
ZBASE_OWN_NAMES(ZBASE_OWN_DECLARE_C, ZBASE_OWN_DECLARE_CXX, ZBASE_OWN_DECLARE_NORETURN,
                ZBASE_OWN_DECLARE_PRINTF)
#undef ZBASE_OWN_DECLARE_C
#undef ZBASE_OWN_DECLARE_CXX
#undef ZBASE_OWN_DECLARE_NORETURN
#undef ZBASE_OWN_DECLARE_PRINTF
#else
#define ZBASE_OWN_DECLARE(type, name, params, args, symbol) ZBASE_API type name params __asm__(symbol);
#define ZBASE_OWN_DECLARE_NORETURN(name, params, args, symbol)                                      \
    [[noreturn]] ZBASE_API void name params __asm__(symbol);
#define ZBASE_OWN_DECLARE_PRINTF(name, symbol)                                                      \
    ZBASE_API void name(const char* format, ...) __asm__(symbol) __attribute__((format(printf, 1, 2)));
inline namespace zbase_internal {
namespace own {
ZBASE_OWN_NAMES(ZBASE_OWN_DECLARE, ZBASE_OWN_DECLARE, ZBASE_OWN_DECLARE_NORETURN,
                ZBASE_OWN_DECLARE_PRINTF)
} // namespace own
} // namespace zbase_internal
#undef ZBASE_OWN_DECLARE
#undef ZBASE_OWN_DECLARE_NORETURN
#undef ZBASE_OWN_DECLARE_PRINTF
#endif
