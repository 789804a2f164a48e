// The "ThreadPriority" registry key and how its values become the eight
// priority classes.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>

#include "comtesthooks.h"
#include "debugcapture.h"
#include "threadpriority.h"

namespace {

using Priorities = std::array<int, AM_THREAD_CLASS_COUNT>;

class ThreadPriorityTest : public testing::Test {
protected:
    void SetUp() override { platformtest::ClearRegistry(); }
    void TearDown() override { platformtest::ClearRegistry(); }

    void SetValue(const char* name, DWORD dwType, DWORD dwValue)
    {
        HKEY hKey = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\DirectShow\\ThreadPriority",
                                                 0, nullptr, 0, 0, nullptr, &hKey, nullptr));
        std::vector<WCHAR> wName = ToWide(name);
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExW(hKey, wName.data(), 0, dwType, reinterpret_cast<const BYTE*>(&dwValue), sizeof(dwValue)));
        RegCloseKey(hKey);
    }
    void SetValues(const std::map<std::string, DWORD>& values)
    {
        for (const auto& value : values) SetValue(value.first.c_str(), REG_DWORD, value.second);
    }
    Priorities Load()
    {
        CThreadPriorityTable table;
        table.Load();
        Priorities result;
        for (int i = 0; i < AM_THREAD_CLASS_COUNT; ++i) result[static_cast<size_t>(i)] = table.Priority(i);
        return result;
    }
};

const Priorities kDefaults = {248, 249, 250, 251, 252, 253, 254, 255};

}  // namespace

TEST_F(ThreadPriorityTest, DefaultsWithoutTheKey)
{
    EXPECT_EQ(kDefaults, Load());
    CThreadPriorityTable table;
    EXPECT_EQ(251, table.Priority(AM_THREAD_CLASS_NORMAL));
}

// Each row: the values set under the key, and the eight classes that result.
TEST_F(ThreadPriorityTest, ValuesBecomeTheEightClasses)
{
    const struct {
        const char* name;
        std::map<std::string, DWORD> values;
        Priorities expected;
    } cases[] = {
        {"all valid values are taken as they are",
         {{"Critical", 100}, {"Highest", 110}, {"AboveNormal", 120}, {"Normal", 130}, {"BelowNormal", 140},
          {"Lowest", 150}, {"AboveIdle", 160}, {"Idle", 170}},
         {100, 110, 120, 130, 140, 150, 160, 170}},
        {"equal neighbours count as rising",
         {{"Critical", 200}, {"Highest", 200}, {"AboveNormal", 200}, {"Normal", 200}, {"BelowNormal", 200},
          {"Lowest", 200}, {"AboveIdle", 200}, {"Idle", 200}},
         {200, 200, 200, 200, 200, 200, 200, 200}},
        {"falling values make the whole key ignored", {{"Critical", 100}, {"Normal", 90}, {"Idle", 200}}, kDefaults},
        {"gaps count back from the next value and on from the last", {{"Normal", 100}},
         {97, 98, 99, 100, 101, 102, 103, 104}},
        // Highest..Normal count back from 52 (49, 50, 51) but not below 50.
        {"gaps stay at or above the previous value", {{"Critical", 50}, {"BelowNormal", 52}},
         {50, 50, 50, 51, 52, 53, 54, 55}},
        {"gaps never go below zero", {{"AboveNormal", 1}}, {0, 0, 1, 2, 3, 4, 5, 6}},
        {"classes after the last value are capped at 255", {{"Highest", 253}}, {252, 253, 254, 255, 255, 255, 255, 255}},
        {"values of 256 or more are ignored", {{"Critical", 256}, {"Normal", 10}, {"Idle", 1000}},
         {7, 8, 9, 10, 11, 12, 13, 14}},
    };
    for (const auto& c : cases) {
        platformtest::ClearRegistry();
        SetValues(c.values);
        EXPECT_EQ(c.expected, Load()) << c.name;
    }
}

TEST_F(ThreadPriorityTest, ValuesThatAreNotDwordsAreIgnored)
{
    SetValue("Normal", REG_BINARY, 10);
    EXPECT_EQ(kDefaults, Load());
    SetValue("Lowest", REG_DWORD, 20);
    EXPECT_EQ((Priorities{15, 16, 17, 18, 19, 20, 21, 22}), Load());
}
