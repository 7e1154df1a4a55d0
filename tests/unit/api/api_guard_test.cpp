// The exception barrier of the exported functions: a fatal failure switches
// the handle off for good, whatever the instance says afterwards.

#include <gtest/gtest.h>

#include <stdexcept>

#include "api/ZEBInstance.h"
#include "zeb.h"

namespace {

using ZEBInternal::guardedCall;
using ZEBInternal::ZEBSDK;

// zebDestroyInstance refuses a broken handle, so the test frees it itself.
void release(ZEBInstance* handle) {
    delete handle->sdk;
    delete handle;
}

TEST(ApiGuard, ExceptionMarksTheHandleBrokenForGood) {
    ZEBInstance* handle = zebCreateInstance(false);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(guardedCall(handle, [](ZEBSDK&) -> int32_t { throw std::runtime_error("x"); }),
              -999);
    // The instance itself is healthy, yet every call now answers -999.
    EXPECT_EQ(handle->sdk->getState(), 0);
    EXPECT_EQ(zebGetState(handle), -999);
    char* s = nullptr;
    EXPECT_EQ(zebGetSDKVersion(handle, &s), -999);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(zebGetClientID(handle, nullptr), -999);  // before the pointer check
    EXPECT_EQ(zebStartSDK(handle), -999);
    EXPECT_EQ(zebDestroyInstance(handle), -999);
    zebFree(nullptr);
    release(handle);
}

TEST(ApiGuard, FatalResultMarksTheHandleBroken) {
    ZEBInstance* handle = zebCreateInstance(false);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(guardedCall(handle, [](ZEBSDK&) -> int32_t { return -999; }), -999);
    EXPECT_EQ(zebGetState(handle), -999);
    release(handle);
}

TEST(ApiGuard, OrdinaryErrorsLeaveTheHandleUsable) {
    ZEBInstance* handle = zebCreateInstance(false);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(guardedCall(handle, [](ZEBSDK&) -> int32_t { return -998; }), -998);
    EXPECT_EQ(zebGetState(handle), 0);
    ZEBInstance empty;
    EXPECT_EQ(guardedCall(&empty, [](ZEBSDK&) -> int32_t { return 0; }), -100);
    EXPECT_EQ(zebDestroyInstance(handle), 0);
}

}  // namespace
