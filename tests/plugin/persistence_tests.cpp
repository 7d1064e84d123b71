// The parameter record in the host's model file: what is written, what is read back, and what a
// damaged record does.
#include <gtest/gtest.h>

#include <string>

#include "platform/text/text.h"
#include "plugin/block.h"
#include "plugin/persistence.h"
#include "plugin_test_support.h"

namespace virelon {
namespace {

using test::MemoryFile;

std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

std::string Written(const TVirelonData& data) {
    MemoryFile file;
    EXPECT_TRUE(WriteToFile(file.fd(), data));
    return file.Contents();
}

TEST(WriteToFile, FreshInstanceWritesNineLines) {
    TVirelonData data;
    EXPECT_EQ(Written(data), Lines({"801265", "", "", "0", "0", "0", "0", "100", "0"}));
}

TEST(WriteToFile, WritesEveryFieldInOrder) {
    TVirelonData data;
    data.Server = u"OPCSim.Server";
    data.Count = 2;
    data.ItemIDs[0] = "Signals.Sine";
    data.ItemIDs[1] = "Signals.Ramp";
    data.ItemIDs[2] = "not configured";
    data.WriteLogFile = 1;
    data.GroupUpdateRate = 500;
    EXPECT_EQ(Written(data), Lines({"801265", "", "OPCSim.Server", "2", "Signals.Sine",
                                    "Signals.Ramp", "1", "0", "0", "100", "500"}));
}

TEST(ReadFromFile, OldVersionsReadOnlyTheirLines) {
    struct Case {
        int version;
        bool log, state, delay, rate;
    };
    const Case cases[] = {{249, false, false, false, false}, {250, true, false, false, false},
                          {252, true, false, false, false},  {253, true, true, false, false},
                          {254, true, true, false, false},   {255, true, true, true, false},
                          {257, true, true, true, false},    {259, true, true, true, false},
                          {260, true, true, true, true},     {801265, true, true, true, true}};
    for (const Case& c : cases) {
        std::string record =
            Lines({std::to_string(c.version), "far", "Some.Server", "2", "A.One", "A.Two"});
        if (c.log)
            record += Lines({"1"});
        if (c.state)
            record += Lines({"1"});
        if (c.delay)
            record += Lines({"1", "250"});
        if (c.rate)
            record += Lines({"750"});
        record += "host data";
        MemoryFile file(record);
        TVirelonData data;
        EXPECT_EQ(ReadFromFile(file.fd(), data), RecordStatus::Complete) << c.version;
        EXPECT_EQ(file.Position(), static_cast<off_t>(record.size() - 9))
            << "stops right behind the record, version " << c.version;
        EXPECT_EQ(data.Machine, u"far");
        EXPECT_EQ(data.Server, u"Some.Server");
        ASSERT_EQ(data.Count, 2);
        EXPECT_EQ(data.ItemIDs[1], "A.Two");
        EXPECT_EQ(data.WriteLogFile, c.log ? 1 : 0) << c.version;
        EXPECT_EQ(data.CheckServerState, c.state ? 1 : 0) << c.version;
        EXPECT_EQ(data.DelayMode, c.delay ? 1 : 0) << c.version;
        EXPECT_EQ(data.DelayTime, c.delay ? 250 : 100) << c.version;
        EXPECT_EQ(data.GroupUpdateRate, c.rate ? 750 : 0) << c.version;
    }
}

TEST(ReadFromFile, LogFlagTwoIsKeptAsTheByteTwo) {
    MemoryFile file(Lines({"801265", "", "S", "0", "2", "0", "0", "100", "0"}));
    TVirelonData data;
    ASSERT_EQ(ReadFromFile(file.fd(), data), RecordStatus::Complete);
    EXPECT_EQ(data.WriteLogFile, 2);
    EXPECT_EQ(Written(data), Lines({"801265", "", "S", "0", "2", "0", "0", "100", "0"}));
}

TEST(ReadFromFile, FlagsTakeTheLowByteOfTheNumber) {
    MemoryFile file(Lines({"801265", "", "S", "0", "257", "-1", "2", "-40", "0"}));
    TVirelonData data;
    ASSERT_EQ(ReadFromFile(file.fd(), data), RecordStatus::Complete);
    EXPECT_EQ(data.WriteLogFile, 1);
    EXPECT_EQ(data.CheckServerState, 255);
    EXPECT_EQ(data.DelayMode, 2);
    EXPECT_EQ(data.DelayTime, -40);
}

TEST(ReadFromFile, ItemSlotsAboveTheCountKeepTheirContents) {
    TVirelonData data;
    data.Count = 3;
    data.ItemIDs = {"one", "two", "three"};
    MemoryFile file(Lines({"801265", "", "S", "1", "new", "0", "0", "0", "100", "0"}));
    ASSERT_EQ(ReadFromFile(file.fd(), data), RecordStatus::Complete);
    EXPECT_EQ(data.Count, 1);
    EXPECT_EQ(data.ItemIDs[0], "new");
    EXPECT_EQ(data.ItemIDs[1], "two");
    EXPECT_EQ(data.ItemIDs[2], "three");
}

TEST(ReadFromFile, LoneCrAndLfBelongToTheLine) {
    MemoryFile file("801265\r\nma\rchine\r\nser\nver\r\n0\r\n0\r\n0\r\n0\r\n100\r\n0\r\n");
    TVirelonData data;
    ASSERT_EQ(ReadFromFile(file.fd(), data), RecordStatus::Complete);
    EXPECT_EQ(data.Machine, u"ma\rchine");
    EXPECT_EQ(data.Server, u"ser\nver");
}

TEST(ReadFromFile, FiftyItemsFillEverySlot) {
    std::string record = Lines({"801265", "", "S", "50"});
    for (int k = 1; k <= 50; ++k)
        record += Lines({"Item." + std::to_string(k)});
    record += Lines({"0", "0", "0", "100", "0"});
    MemoryFile file(record);
    TVirelonData data;
    ASSERT_EQ(ReadFromFile(file.fd(), data), RecordStatus::Complete);
    ASSERT_EQ(data.Count, 50);
    EXPECT_EQ(data.ItemIDs[49], "Item.50");
}

// A record that cannot be read completely changes nothing in the instance, and reading never
// goes further than one line past the last good one.
TEST(ReadFromFile, DamagedRecordLeavesTheInstanceAsItWas) {
    const std::string longLine(999, 'x');
    struct Case {
        const char* what;
        std::string record;
    };
    const Case cases[] = {
        {"empty file", ""},
        {"ends inside the version line", "8012"},
        {"version not a number", Lines({"version 8", "", "S", "0", "0", "0", "0", "100", "0"})},
        {"ends after the server", Lines({"801265", "", "S"})},
        {"count above 50", Lines({"801265", "", "S", "51"}) + std::string(5000, 'I')},
        {"count negative", Lines({"801265", "", "S", "-1", "0", "0", "0", "100", "0"})},
        {"count beyond 32 bits", Lines({"801265", "", "S", "99999999999"})},
        {"fewer item lines than counted", Lines({"801265", "", "S", "3", "A", "B"})},
        {"item line without CR LF at the end", "801265\r\n\r\nS\r\n1\r\nItem"},
        {"line longer than 998", Lines({"801265", "", longLine, "0", "0", "0", "0", "100", "0"})},
        {"flag not a number", Lines({"801265", "", "S", "0", "on", "0", "0", "100", "0"})},
        {"missing update rate", Lines({"801265", "", "S", "0", "0", "0", "0", "100"})},
        {"trailing text on a number", Lines({"801265", "", "S", "0", "0 ", "0", "0", "100", "0"})},
    };
    for (const Case& c : cases) {
        TVirelonData data;
        data.Server = u"Kept.Server";
        data.Count = 1;
        data.ItemIDs[0] = "Kept.Item";
        data.DelayTime = 77;
        MemoryFile file(c.record);
        EXPECT_EQ(ReadFromFile(file.fd(), data), RecordStatus::Damaged) << c.what;
        EXPECT_EQ(data.Server, u"Kept.Server") << c.what;
        EXPECT_EQ(data.Count, 1) << c.what;
        EXPECT_EQ(data.ItemIDs[0], "Kept.Item") << c.what;
        EXPECT_EQ(data.DelayTime, 77) << c.what;
        EXPECT_LE(file.Position(), static_cast<off_t>(c.record.size())) << c.what;
    }
}

TEST(ReadFromFile, StopsAtMostOneLinePastTheLastGoodLine) {
    const std::string head = Lines({"801265", "", "S"});
    const std::string endless(100000, 'z');
    MemoryFile file(head + endless);
    TVirelonData data;
    EXPECT_EQ(ReadFromFile(file.fd(), data), RecordStatus::Damaged);
    EXPECT_LE(file.Position(), static_cast<off_t>(head.size() + kMaxRecordLine + 2));
}

TEST(ReadFromFile, LongestLineIsRead) {
    const std::string longest(998, 'i');
    MemoryFile file(Lines({"801265", "", "S", "1", longest, "0", "0", "0", "100", "0"}));
    TVirelonData data;
    ASSERT_EQ(ReadFromFile(file.fd(), data), RecordStatus::Complete);
    EXPECT_EQ(data.ItemIDs[0], longest);
}

TEST(ReadFromFile, DuringARunReadsButDoesNotApply) {
    TVirelonData data;
    data.Simulating = true;
    const std::string record = Lines({"801265", "", "Other", "0", "0", "0", "0", "100", "0"});
    MemoryFile file(record);
    EXPECT_EQ(ReadFromFile(file.fd(), data), RecordStatus::Complete);
    EXPECT_EQ(file.Position(), static_cast<off_t>(record.size()));
    EXPECT_EQ(data.Server, u"");
}

TEST(Record, RoundTripKeepsEveryField) {
    TVirelonData data;
    data.Machine = u"plant-7";
    data.Server = u"{12345678-9ABC-DEF0-1234-56789ABCDEF0}";
    data.Count = 3;
    data.ItemIDs = {"Signals.Sine", "Caf\xE9.Temperatur", ""};  // ANSI text, an empty one too
    data.WriteLogFile = 1;
    data.CheckServerState = 1;
    data.DelayMode = 1;
    data.DelayTime = -20;
    data.GroupUpdateRate = 250;
    MemoryFile file;
    ASSERT_TRUE(WriteToFile(file.fd(), data));
    file.Rewind();
    TVirelonData back;
    ASSERT_EQ(ReadFromFile(file.fd(), back), RecordStatus::Complete);
    EXPECT_EQ(file.Position(), static_cast<off_t>(file.Contents().size()));
    EXPECT_EQ(back.Machine, data.Machine);
    EXPECT_EQ(back.Server, data.Server);
    EXPECT_EQ(back.Count, 3);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(back.ItemIDs[k], data.ItemIDs[k]);
    EXPECT_EQ(back.WriteLogFile, 1);
    EXPECT_EQ(back.CheckServerState, 1);
    EXPECT_EQ(back.DelayMode, 1);
    EXPECT_EQ(back.DelayTime, -20);
    EXPECT_EQ(back.GroupUpdateRate, 250);
}

TEST(Record, CharacterOutsideTheCodePageComesBackAsTheReplacement) {
    TVirelonData data;
    data.Machine = u"Stra\u00DFe-\u4E2D";  // sharp s is in Windows-1252, the CJK letter is not
    data.Server = u"S";
    MemoryFile file;
    ASSERT_TRUE(WriteToFile(file.fd(), data));
    file.Rewind();
    TVirelonData back;
    ASSERT_EQ(ReadFromFile(file.fd(), back), RecordStatus::Complete);
    EXPECT_EQ(back.Machine, u"Stra\u00DFe-?");
}

// The writer never produces a record it could not read back.
TEST(Record, TextsThatALineCannotHoldAreCut) {
    TVirelonData data;
    data.Server = u"S";
    data.Count = 3;
    data.ItemIDs[0] = std::string(1500, 'a');
    data.ItemIDs[1] = "first\r\nsecond";
    data.ItemIDs[2] = std::string(997, 'b') + "\r";
    MemoryFile file;
    ASSERT_TRUE(WriteToFile(file.fd(), data));
    file.Rewind();
    TVirelonData back;
    ASSERT_EQ(ReadFromFile(file.fd(), back), RecordStatus::Complete);
    EXPECT_EQ(back.ItemIDs[0], std::string(998, 'a'));
    EXPECT_EQ(back.ItemIDs[1], "first");
    EXPECT_EQ(back.ItemIDs[2], data.ItemIDs[2]) << "a CR at the end of a text survives";
    EXPECT_EQ(back.Count, 3);
}

TEST(Record, CountOutsideItsRangeIsWrittenClamped) {
    TVirelonData data;
    data.Count = 60;
    const std::string text = Written(data);
    EXPECT_NE(text.find("\r\n50\r\n"), std::string::npos);
    MemoryFile file(text);
    TVirelonData back;
    EXPECT_EQ(ReadFromFile(file.fd(), back), RecordStatus::Complete);
    EXPECT_EQ(back.Count, 50);
}

}  // namespace
}  // namespace virelon
