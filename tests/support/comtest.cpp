#include "comtest.h"

// {0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}
const IID IID_ITestNobodyImplements = {0x0F1E2D3C, 0x4B5A, 0x6978, {0x87, 0x96, 0xA5, 0xB4, 0xC3, 0xD2, 0xE1, 0xF0}};

void CheckComIdentity(int line, IUnknown* pObject, const std::vector<IID>& supported)
{
    SCOPED_TRACE(testing::Message() << "COM identity checked at line " << line);
    ASSERT_NE(nullptr, pObject);
    pObject->AddRef();
    ULONG cBefore = pObject->Release();

    IUnknown* pIdentity = nullptr;
    ASSERT_EQ(S_OK, pObject->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pIdentity)));
    for (const IID& iid : supported) {
        IUnknown* pInterface = nullptr;
        ASSERT_EQ(S_OK, pObject->QueryInterface(iid, reinterpret_cast<void**>(&pInterface)));
        ASSERT_NE(nullptr, pInterface);
        EXPECT_EQ(cBefore + 2, pInterface->AddRef() - 1) << "QueryInterface must add exactly one reference";
        pInterface->Release();
        IUnknown* pBack = nullptr;
        ASSERT_EQ(S_OK, pInterface->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pBack)));
        EXPECT_EQ(pIdentity, pBack) << "every interface must lead back to the same IUnknown";
        pBack->Release();
        pInterface->Release();
    }
    pIdentity->Release();

    void* pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, pObject->QueryInterface(IID_ITestNobodyImplements, &pv));
    EXPECT_EQ(nullptr, pv);
    EXPECT_EQ(E_POINTER, pObject->QueryInterface(IID_IUnknown, nullptr));

    pObject->AddRef();
    EXPECT_EQ(cBefore, pObject->Release()) << "the checks must leave the count as it was";
}
