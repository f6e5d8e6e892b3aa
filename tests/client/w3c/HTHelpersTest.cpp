// The string, list and allocation helpers.
#include "w3c/HTList.h"
#include "w3c/HTMemory.h"
#include "w3c/HTString.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

// A failed allocation must come back as null here, also under the sanitizers.
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1";
}
extern "C" const char* __tsan_default_options()
{
    return "allocator_may_return_null=1";
}

namespace {

TEST(HTString, Comparisons)
{
    EXPECT_EQ(strcasecomp("Content-Type", "content-TYPE"), 0);
    EXPECT_EQ(strcasecomp("ab", "abc"), -1);
    EXPECT_EQ(strcasecomp("abc", "ab"), 1);
    EXPECT_EQ(strcasecomp("abD", "ABc"), 1);
    EXPECT_EQ(strncasecomp("abcX", "ABCy", 3), 0);
    EXPECT_EQ(strncasecomp("ab", "abc", 3), -1);
    EXPECT_EQ(tailcomp("cgi", "mjpg.cgi"), 0);
    EXPECT_NE(tailcomp("mjpg.cgi", "cgi"), 0);
    EXPECT_EQ(tailcasecomp("CGI", "mjpg.cgi"), 0);

    EXPECT_TRUE(HTStrMatch("*.cgi", "mjpg.cgi"));
    EXPECT_TRUE(HTStrMatch("video/*", "video/"));
    EXPECT_TRUE(HTStrMatch("a*b*", "axb*"));
    EXPECT_FALSE(HTStrMatch("ab*ba", "aba"));
    EXPECT_FALSE(HTStrMatch("*.CGI", "mjpg.cgi"));
    EXPECT_TRUE(HTStrCaseMatch("*.CGI", "mjpg.cgi"));
    EXPECT_TRUE(HTStrCaseMatch("Abc", "aBC"));

    const char* hay = "Content-TYPE: x";
    EXPECT_EQ(HTStrCaseStr(hay, "type"), hay + 8);
    EXPECT_EQ(HTStrCaseStr(hay, ""), hay);
    EXPECT_EQ(HTStrCaseStr("abc", "abcd"), nullptr);

    char padded[] = " \t a b \r\n";
    EXPECT_STREQ(HTStrip(padded), "a b");
    char blank[] = " \t";
    EXPECT_STREQ(HTStrip(blank), "");
}

// The old text is freed only after the new one is made, so a source inside
// it is read while still alive.
TEST(HTString, AllocatedTexts)
{
    char* s = nullptr;
    EXPECT_STREQ(HTSACopy(&s, "hello"), "hello");
    EXPECT_STREQ(HTSACopy(&s, s + 1), "ello");
    EXPECT_STREQ(HTSACat(&s, s), "elloello");
    EXPECT_STREQ(StrAllocMCopy(&s, "a", "b", "c", static_cast<char*>(nullptr)), "abc");
    EXPECT_STREQ(StrAllocMCat(&s, "d", s, static_cast<char*>(nullptr)), "abcdabc");
    EXPECT_STREQ(HTSACat(&s, nullptr), "abcdabc");
    EXPECT_EQ(HTSACopy(&s, nullptr), nullptr);
    EXPECT_EQ(s, nullptr);
    EXPECT_STREQ(HTSACat(&s, "x"), "x");
    HTMemory_free(s);
}

int Letters(const void* a, const void* b)
{
    return static_cast<const char*>(a)[0] - static_cast<const char*>(b)[0];
}

TEST(HTList, OperationsKeepOrder)
{
    char a[] = "a1", b[] = "b1", c[] = "c1", a2[] = "a2";
    HTList* list = HTList_new();
    ASSERT_TRUE(list);
    EXPECT_TRUE(HTList_addObject(list, a));
    EXPECT_TRUE(HTList_addObject(list, b));
    EXPECT_TRUE(HTList_appendObject(list, c)); // b a c
    EXPECT_EQ(HTList_count(list), 3);
    EXPECT_EQ(HTList_firstObject(list), b);
    EXPECT_EQ(HTList_objectAt(list, 2), c);
    EXPECT_EQ(HTList_objectAt(list, 3), nullptr);
    EXPECT_EQ(HTList_objectAt(list, -1), nullptr);
    EXPECT_EQ(HTList_indexOf(list, c), 2);
    EXPECT_EQ(HTList_indexOf(list, a2), -1);

    HTList* last = nullptr;
    HTList* element = HTList_elementOf(list, a, &last);
    ASSERT_TRUE(element);
    EXPECT_EQ(HTList_indexOfElement(list, element), 1);
    EXPECT_TRUE(HTList_quickRemoveElement(element, last)); // b c
    EXPECT_FALSE(HTList_quickRemoveElement(list, list));
    HTList* added = HTList_appendList(list, a2); // b c a2
    EXPECT_EQ(HTList_indexOfElement(list, added), 2);
    EXPECT_EQ(HTList_addList(list, c)->object, c); // c b c a2

    EXPECT_TRUE(HTList_removeObjectAll(list, c)); // b a2
    EXPECT_FALSE(HTList_removeObject(list, c));
    EXPECT_TRUE(HTList_appendObject(list, a));        // b a2 a
    EXPECT_TRUE(HTList_insertionSort(list, Letters)); // a2 a b: equal keys keep order
    EXPECT_EQ(HTList_objectAt(list, 0), a2);
    EXPECT_EQ(HTList_objectAt(list, 1), a);
    EXPECT_EQ(HTList_removeLastObject(list), b);
    EXPECT_EQ(HTList_removeFirstObject(list), a2);
    EXPECT_EQ(HTList_removeObjectAt(list, 1), nullptr);
    EXPECT_EQ(HTList_removeObjectAt(list, 0), a);
    EXPECT_EQ(HTList_removeLastObject(list), nullptr);
    EXPECT_EQ(HTList_count(list), 0);
    EXPECT_TRUE(HTList_addObject(list, a));
    EXPECT_TRUE(HTList_delete(list));

    // A null list does nothing.
    EXPECT_FALSE(HTList_addObject(nullptr, a));
    EXPECT_EQ(HTList_count(nullptr), 0);
    EXPECT_EQ(HTList_firstObject(nullptr), nullptr);
    EXPECT_EQ(HTList_indexOf(nullptr, a), -1);
    EXPECT_FALSE(HTList_delete(nullptr));
}

size_t g_askedSize = 0;
int g_calls = 0;

void Remember(size_t size)
{
    g_askedSize = size;
    ++g_calls;
}

void RemoveSelf(size_t)
{
    ++g_calls;
    HTMemoryCall_delete(RemoveSelf);
}

TEST(HTMemory, FailedAllocationCallsEachCallback)
{
    const size_t huge = size_t(1) << 62;
    EXPECT_TRUE(HTMemoryCall_add(RemoveSelf));
    EXPECT_TRUE(HTMemoryCall_add(Remember));
    EXPECT_FALSE(HTMemoryCall_add(Remember));
    EXPECT_EQ(HTMemory_malloc(huge), nullptr);
    EXPECT_EQ(g_askedSize, huge);
    EXPECT_EQ(g_calls, 2);
    EXPECT_EQ(HTMemory_realloc(nullptr, huge), nullptr);
    EXPECT_EQ(g_calls, 3); // RemoveSelf is gone
    EXPECT_EQ(HTMemory_calloc(SIZE_MAX, 2), nullptr);
    EXPECT_EQ(g_calls, 3);
    EXPECT_TRUE(HTMemoryCall_deleteAll());
    EXPECT_FALSE(HTMemoryCall_delete(Remember));
    void* small = HTMemory_calloc(4, 4);
    EXPECT_NE(small, nullptr);
    HTMemory_free(small);
}

void ExitHook(const char* name, const char* file, unsigned long line)
{
    std::fprintf(stderr, "out of memory: %s at %s:%lu\n", name, file, line);
}

TEST(HTMemoryDeathTest, OutOfMemoryCallsExitHookThenAborts)
{
    EXPECT_EQ(HTMemory_exit(), nullptr);
    HTMemory_setExit(ExitHook);
    EXPECT_EQ(HTMemory_exit(), ExitHook);
    EXPECT_DEATH(HTMemory_outofmem("parse space", "HTParse.cpp", 7),
                 "out of memory: parse space at HTParse.cpp:7");
    HTMemory_setExit(nullptr);
}

} // namespace
