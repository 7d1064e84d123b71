#include <gtest/gtest.h>

#include <vector>

#include "platform/com/enum_guid.h"
#include "platform/com/enum_string.h"
#include "tests/platform/com_test_support.h"

namespace korva::test {
namespace {

class Enumerators : public TaskMemoryCheck {};

// Fetches `count` texts and frees them, answering what came.
std::vector<std::u16string> NextTexts(IEnumString* e, ULONG count, HRESULT* hr) {
    std::vector<LPOLESTR> raw(count + 1, nullptr);
    ULONG fetched = 12345;
    *hr = e->Next(count, raw.data(), &fetched);
    std::vector<std::u16string> texts;
    EXPECT_LE(fetched, count);
    for (ULONG i = 0; i < fetched && i < count; ++i) {
        texts.emplace_back(raw[i]);
        CoTaskMemFree(raw[i]);
    }
    return texts;
}

TEST_F(Enumerators, StringsComeInStepsAndEndWithFalse) {
    ComPtr<IEnumString> e = MakeEnumString({u"Random.Int4", u"Saw-toothed Waves.Real8", u"Ä"});
    const struct {
        ULONG count;
        HRESULT hr;
        std::vector<std::u16string> texts;
    } steps[] = {
        {0, S_OK, {}},
        {2, S_OK, {u"Random.Int4", u"Saw-toothed Waves.Real8"}},
        {2, S_FALSE, {u"Ä"}},
        {1, S_FALSE, {}},
    };
    for (const auto& step : steps) {
        HRESULT hr;
        EXPECT_EQ(NextTexts(e.Get(), step.count, &hr), step.texts);
        EXPECT_EQ(hr, step.hr);
    }
    EXPECT_EQ(e->Reset(), S_OK);
    EXPECT_EQ(e->Skip(2), S_OK);
    LPOLESTR one = nullptr;
    ASSERT_EQ(e->Next(1, &one, nullptr), S_OK);  // one at a time needs no count
    EXPECT_EQ(std::u16string(one), u"Ä");
    CoTaskMemFree(one);
    EXPECT_EQ(e->Next(1, &one, nullptr), S_FALSE);
    EXPECT_EQ(e->Skip(1), S_FALSE);
}

TEST_F(Enumerators, StringArgumentsAndIdentity) {
    ComPtr<IEnumString> e = MakeEnumString({u"a", u"b"});
    LPOLESTR texts[2];
    EXPECT_EQ(e->Next(2, texts, nullptr), E_INVALIDARG);
    EXPECT_EQ(e->Next(1, nullptr, nullptr), E_POINTER);
    EXPECT_EQ(e->Clone(nullptr), E_POINTER);
    HRESULT hr;
    EXPECT_EQ(NextTexts(e.Get(), 2, &hr).size(), 2u) << "a refused call moved the position";

    ComPtr<IUnknown> unknown;
    EXPECT_EQ(e.As(&unknown), S_OK);
    ComPtr<IEnumGUID> wrong;
    EXPECT_EQ(e.As(&wrong), E_NOINTERFACE);
    EXPECT_FALSE(wrong);
}

TEST_F(Enumerators, ClonesShareTheListAndKeepTheirOwnPosition) {
    ComPtr<IEnumString> e = MakeEnumString({u"one", u"two", u"three"});
    ASSERT_EQ(e->Skip(1), S_OK);
    ComPtr<IEnumString> clone;
    ASSERT_EQ(e->Clone(clone.ReleaseAndGetAddressOf()), S_OK);
    HRESULT hr;
    EXPECT_EQ(NextTexts(clone.Get(), 5, &hr), (std::vector<std::u16string>{u"two", u"three"}));
    EXPECT_EQ(NextTexts(e.Get(), 1, &hr), std::vector<std::u16string>{u"two"});
    e.Reset();  // the clone outlives its original
    EXPECT_EQ(clone->Reset(), S_OK);
    EXPECT_EQ(NextTexts(clone.Get(), 1, &hr), std::vector<std::u16string>{u"one"});
}

TEST_F(Enumerators, EmptyListsEndAtOnce) {
    ComPtr<IEnumString> texts = MakeEnumString({});
    HRESULT hr;
    EXPECT_TRUE(NextTexts(texts.Get(), 3, &hr).empty());
    EXPECT_EQ(hr, S_FALSE);
    ComPtr<IEnumGUID> guids = MakeEnumGuid({});
    GUID g;
    ULONG fetched = 7;
    EXPECT_EQ(guids->Next(1, &g, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
}

TEST_F(Enumerators, GuidsOneAtATimeAsAClassListIsRead) {
    const std::vector<GUID> classes = {IID_IUnknown, IID_IClassFactory, IID_IEnumString};
    ComPtr<IEnumGUID> e = MakeEnumGuid(classes);
    std::vector<GUID> read;
    GUID g;
    ULONG fetched = 0;
    while (e->Next(1, &g, &fetched) == S_OK) {
        EXPECT_EQ(fetched, 1u);
        read.push_back(g);
    }
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(read, classes);

    EXPECT_EQ(e->Reset(), S_OK);
    GUID many[5] = {};
    EXPECT_EQ(e->Next(5, many, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 3u);
    EXPECT_EQ(many[2], IID_IEnumString);
    EXPECT_EQ(e->Next(2, many, nullptr), E_INVALIDARG);
    ComPtr<IEnumGUID> clone;
    ASSERT_EQ(e->Clone(clone.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(clone->Next(1, &g, nullptr), S_FALSE);  // at the original's (end) position
}

}  // namespace
}  // namespace korva::test
