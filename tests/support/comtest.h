// COM checks shared by the tests: an exact reference-count check that
// reports the caller's line, and the identity checklist every COM object
// must pass.
#ifndef TESTS_COMTEST_H
#define TESTS_COMTEST_H

#include <gtest/gtest.h>

#include <vector>

#include "win32.h"

// The reference count p has now: one AddRef and one Release, the Release's
// result compared with `expected`.
template <class T>
void ExpectRefCount(int line, T* p, ULONG expected)
{
    ASSERT_NE(nullptr, p) << "null object (line " << line << ")";
    p->AddRef();
    ULONG actual = p->Release();
    EXPECT_EQ(expected, actual) << "reference count checked at line " << line;
}
#define EXPECT_REF(p, n) ExpectRefCount(__LINE__, (p), static_cast<ULONG>(n))

// QueryInterface rules for an object that should expose `supported`:
// each is found and adds exactly one reference, each gives back the same
// IUnknown, an unknown interface gives E_NOINTERFACE and null, and a null
// out-pointer gives E_POINTER. The object's count is the same afterwards.
void CheckComIdentity(int line, IUnknown* pObject, const std::vector<IID>& supported);
#define CHECK_COM_IDENTITY(p, ...) CheckComIdentity(__LINE__, (p), __VA_ARGS__)

// An IID no object implements.
extern const IID IID_ITestNobodyImplements;

#endif
