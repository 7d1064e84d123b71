// The test client's main window against the simulation server and the fault-injecting server:
// connecting, items and their values, writing, the server state, the status lines and the
// server's shutdown request.
#include <QRegularExpression>
#include <QTest>
#include <thread>

#include "platform/text/text.h"
#include "tests/testclient/dravik_test_support.h"

namespace {

using namespace dravik_test;

const QString kConnectedCaption = QStringLiteral("KORVA OPC Test Client (connected to %1)");

// The last status line, split into its text before the timestamp and the timestamp.
bool IsStatusLine(const QString& line, const QString& prefix) {
    if (!line.startsWith(prefix))
        return false;
    // The timestamp is the user's short date, a blank and the long time: at least one digit.
    return line.mid(prefix.size()).contains(QRegularExpression(QStringLiteral("\\d")));
}

using DravikWindowTest = DravikTest;

TEST_F(DravikWindowTest, StartsUnconnectedAndShowsQuestionMarksWithinTheFirstTick) {
    EXPECT_EQ(form->windowTitle(), QStringLiteral("KORVA OPC Test Client"));
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->Timer1->interval(), 100);
    EXPECT_FALSE(form->Connected);
    EXPECT_EQ(form->Connection, nullptr);
    EXPECT_TRUE(form->LogUserDisconnect);
    EXPECT_TRUE(WaitFor([&] { return form->Edit1->text() == QStringLiteral("???"); }, 1000));
    EXPECT_EQ(ticks, 1) << "the state box was filled by the first tick";

    // Write Item and Disconnect do nothing while not connected.
    form->Button5->click();
    form->Button3->click();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(recorder->boxes.empty());
    EXPECT_TRUE(StatusLines().isEmpty());
}

struct RefusalCase {
    const char* name;
    bool connectFirst;
    QPushButton* TForm1::*button;
    const char* message;
};

class RefusalTest : public DravikTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusalTest, ShowsAPlainBoxCaptionedWithTheProgramsTitle) {
    const RefusalCase& c = GetParam();
    if (c.connectFirst) {
        ConnectThroughDialog(kFaultServer);
        ASSERT_TRUE(form->Connected);
    }
    const QString caption = form->windowTitle();
    (form.get()->*c.button)->click();
    ASSERT_EQ(recorder->boxes.size(), 1u);
    const MessageBoxRequest& box = recorder->boxes.front();
    EXPECT_EQ(box.text, QString::fromLatin1(c.message));
    EXPECT_EQ(box.caption, QStringLiteral("Dravik"));
    EXPECT_EQ(box.flags, MB_OK) << "no icon, an OK button";
    EXPECT_EQ(box.owner, form.get());
    EXPECT_EQ(form->windowTitle(), caption);
    EXPECT_EQ(form->Connected, c.connectFirst);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusalTest,
    ::testing::Values(
        RefusalCase{"AddItemWhileNotConnected", false, &TForm1::Button4, "Client not connected!"},
        RefusalCase{"ConnectWhileConnected", true, &TForm1::Button2, "Client already connected!"}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

TEST_F(DravikWindowTest, ServerThatCannotBeReachedChangesNothing) {
    const QString servers[] = {QStringLiteral("No.Such.Server"), QStringLiteral("{not-a-class-id"),
                               QStringLiteral("{0B1A2C3D-0000-4000-8000-00AA00BB00CC}"), QString()};
    for (const QString& server : servers) {
        SCOPED_TRACE(server.toStdString());
        ConnectThroughDialog(server);
        EXPECT_FALSE(form->Connected);
        EXPECT_EQ(form->Connection, nullptr);
        EXPECT_EQ(form->windowTitle(), QStringLiteral("KORVA OPC Test Client"));
        EXPECT_TRUE(StatusLines().isEmpty());
        EXPECT_TRUE(recorder->boxes.empty());
    }
    // Cancel changes nothing either, and does not connect to what was typed.
    WhenModal<TDravikConnectDialog>([](TDravikConnectDialog* dialog) {
        dialog->ServerEdit->setText(kFaultServer);
        dialog->CancelBtn->click();
    });
    form->Button2->click();
    EXPECT_FALSE(form->Connected);
    EXPECT_EQ(FaultStats().calls[OPC_FAULT_CREATE_SERVER], 0u);
}

TEST_F(DravikWindowTest, ConnectWritesCaptionStatusLineSubscribesAndCreatesTheGroup) {
    ConnectThroughDialog(kFaultServer);
    ASSERT_TRUE(form->Connected);
    EXPECT_EQ(form->windowTitle(), kConnectedCaption.arg(kFaultServer));
    ASSERT_EQ(StatusLines().size(), 1);
    EXPECT_TRUE(
        IsStatusLine(StatusLines()[0], QStringLiteral("Connected to %1 at ").arg(kFaultServer)))
        << StatusLines()[0].toStdString();
    EXPECT_EQ(form->Connection->ServerName, OPC_FAULT_SERVER_PROGID);
    EXPECT_EQ(form->Connection->MachineName, "");

    const OpcFaultStats stats = FaultStats();
    EXPECT_EQ(stats.sinksAdvised, 1u);
    EXPECT_STREQ(stats.lastGroupName, "Main");
    EXPECT_EQ(stats.lastGroupActive, -1);
    EXPECT_EQ(stats.lastUpdateRate, 0u);
    EXPECT_TRUE(form->Connection->Group);
    EXPECT_TRUE(WaitFor([&] { return form->Edit1->text() == QStringLiteral("1"); }));
}

TEST_F(DravikWindowTest, ConnectionWhoseSubscriptionAndGroupFailIsStillOpen) {
    OpcFaultConfig config{};
    config.calls[OPC_FAULT_ADVISE].result = E_FAIL;
    config.calls[OPC_FAULT_ADDGROUP].result = E_OUTOFMEMORY;
    ConfigureFault(config);
    ConnectThroughDialog(kFaultServer);
    ASSERT_TRUE(form->Connected);
    EXPECT_FALSE(form->Connection->Group);
    EXPECT_TRUE(recorder->boxes.empty());

    // Items of a connection without a group are listed and show -99999; writes fail.
    AddThroughDialog(QStringLiteral("Number.R8"));
    EXPECT_EQ(Lines(), QStringList{QStringLiteral("Number.R8 = 0")});
    EXPECT_TRUE(WaitForLineValue(0, QStringLiteral("-99999")));
    WriteThroughDialog(0, QStringLiteral("1"));
    ASSERT_EQ(recorder->boxes.size(), 1u);
    EXPECT_EQ(recorder->boxes[0].text, QStringLiteral("Cannot write item!"));
}

TEST_F(DravikWindowTest, ServerStateThatCannotBeObtainedShowsTheFailureCode) {
    OpcFaultConfig config{};
    config.calls[OPC_FAULT_GETSTATUS].result = E_FAIL;
    ConfigureFault(config);
    ConnectThroughDialog(kFaultServer);
    ASSERT_TRUE(form->Connected);
    EXPECT_TRUE(WaitFor([&] { return form->Edit1->text() == QStringLiteral("-2147467259"); }));

    config.calls[OPC_FAULT_GETSTATUS].result = 0;
    config.serverState = 4;
    ConfigureFault(config);
    EXPECT_TRUE(WaitFor([&] { return form->Edit1->text() == QStringLiteral("4"); }));
}

TEST_F(DravikWindowTest, SameItemTwiceGivesTwoLinesWithTheirOwnHandles) {
    ConnectThroughDialog(kSimServer);
    ASSERT_TRUE(form->Connected);
    AddThroughDialog(QStringLiteral("Signals.Constant"));
    // A new item shows 0 until the next tick reads it.
    EXPECT_EQ(Lines(), QStringList{QStringLiteral("Signals.Constant = 0")});
    ASSERT_TRUE(WaitForLineValue(0, QStringLiteral("42.5")));
    AddThroughDialog(QStringLiteral("Signals.Constant"));
    EXPECT_EQ(Lines(), (QStringList{QStringLiteral("Signals.Constant = 42.5"),
                                    QStringLiteral("Signals.Constant = 0")}));

    ASSERT_EQ(form->Connection->ItemCount(), 2);
    EXPECT_NE(form->Connection->ItemHandle(0), form->Connection->ItemHandle(1));
    EXPECT_TRUE(WaitForLineValue(1, QStringLiteral("42.5")));
    EXPECT_EQ(LineValue(0), QStringLiteral("42.5"));
}

TEST_F(DravikWindowTest, ValuesRefreshOnEveryTick) {
    ConnectThroughDialog(kSimServer);
    AddThroughDialog(QStringLiteral("Signals.Counter"));
    ASSERT_TRUE(WaitFor([&] { return LineValue(0) != QStringLiteral("0"); }));
    const QString first = LineValue(0);
    EXPECT_TRUE(WaitFor([&] { return LineValue(0) != first; }))
        << "the counter stayed at " << first.toStdString();
    bool isNumber = false;
    LineValue(0).toInt(&isNumber);
    EXPECT_TRUE(isNumber) << LineValue(0).toStdString();
}

TEST_F(DravikWindowTest, ValueTextsOfTheServerBecomeNumbersOrMinus99999) {
    // The fault server's items, and how the window shows each one.
    static const OpcFaultItem kItems[] = {
        {"Text.Comma", VT_BSTR, "3,5", 1, 0, 0, 0, 0},
        {"Text.Thousands", VT_BSTR, "1,234.5", 0, 0, 0, 0, 0},
        {"Text.Empty", VT_BSTR, "", 0, 0, 0, 0, 0},
        {"Text.Word", VT_BSTR, "open", 0, 0, 0, 0, 0},
        {"Bool.True", VT_BOOL, "true", 0, 0, 0, 0, 0},
        {"Number.R8", VT_R8, "2.5", 1, 0, 0, 0, 0},
        {"Number.I4", VT_I4, "-17", 1, 0, 0, 0, 0},
        {"Number.Big", VT_R8, "1e20", 0, 0, 0, 0, 0},
        {"Number.Bad", VT_R8, "7.25", 0, OPC_FAULT_QUALITY(0), 0, 0, 0},
        {"Read.Fails", VT_R8, "1.5", 0, 0, 0, E_FAIL, 0},
        {"Add.Refused", VT_R8, "1.5", 1, 0, E_INVALIDARG, 0, 0},
    };
    static const char* const kShown[] = {"3.5", "-99999", "-99999", "-99999", "-99999", "2.5",
                                         "-17", "1e+20",  "7.25",   "-99999", "-99999"};
    OpcFaultConfig config{};
    config.items = kItems;
    config.itemCount = std::size(kItems);
    ConfigureFault(config);
    ConnectThroughDialog(kFaultServer);
    ASSERT_TRUE(form->Connected);
    for (const OpcFaultItem& item : kItems)
        AddThroughDialog(QString::fromLatin1(item.id));
    ASSERT_EQ(form->ListBox1->count(), int(std::size(kItems)));
    // The refused item is listed like the others.
    EXPECT_FALSE(form->Connection->ItemAccepted.back());

    ASSERT_TRUE(WaitForTicks(2));
    for (size_t i = 0; i < std::size(kItems); ++i) {
        EXPECT_EQ(form->ListBox1->item(int(i))->text(),
                  QStringLiteral("%1 = %2").arg(QString::fromLatin1(kItems[i].id),
                                                QString::fromLatin1(kShown[i])));
    }
    // The refused item is never read: every read names a handle the server gave out.
    const uint32_t readsBefore = FaultStats().calls[OPC_FAULT_READ];
    const int ticksBefore = ticks;
    ASSERT_TRUE(WaitForTicks(1));
    EXPECT_EQ(FaultStats().calls[OPC_FAULT_READ] - readsBefore,
              (std::size(kItems) - 1) * uint32_t(ticks - ticksBefore))
        << "one read per accepted item per tick";

    // Writing the refused item fails without a server call.
    const uint32_t writesBefore = FaultStats().calls[OPC_FAULT_WRITE];
    WriteThroughDialog(int(std::size(kItems)) - 1, QStringLiteral("3"));
    ASSERT_EQ(recorder->boxes.size(), 1u);
    EXPECT_EQ(recorder->boxes[0].text, QStringLiteral("Cannot write item!"));
    EXPECT_EQ(FaultStats().calls[OPC_FAULT_WRITE], writesBefore);
}

struct WriteCase {
    const char* name;
    int selectedLine;  // -1: none
    WriteClosing closing;
    const char* typed;
    int writtenItem;
    const char* shown;
};

class WriteTest : public DravikTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteTest, WritesTheNumberToTheSelectedOrFirstItem) {
    const WriteCase& c = GetParam();
    const QString items[] = {QStringLiteral("Registers.R8"), QStringLiteral("Registers.I4")};
    ConnectThroughDialog(kSimServer);
    for (const QString& item : items)
        AddThroughDialog(item);
    ASSERT_TRUE(WaitForLineValue(0, QStringLiteral("0")) &&
                WaitForLineValue(1, QStringLiteral("0")));

    WriteThroughDialog(c.selectedLine, QString::fromLatin1(c.typed), c.closing);
    EXPECT_TRUE(recorder->boxes.empty());
    // The window shows the written number at once; the ticks then read it back from the server.
    EXPECT_EQ(LineValue(c.writtenItem), QString::fromLatin1(c.shown));
    ASSERT_TRUE(WaitForTicks(2));
    EXPECT_EQ(LineValue(c.writtenItem), QString::fromLatin1(c.shown));
    EXPECT_EQ(LineValue(1 - c.writtenItem), QStringLiteral("0"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteTest,
    ::testing::Values(
        WriteCase{"SecondLineSelected", 1, WriteClosing::OkButton, "12", 1, "12"},
        WriteCase{"FirstLineSelected", 0, WriteClosing::EnterKey, "-2.75", 0, "-2.75"},
        WriteCase{"NoLineSelectedWritesTheFirst", -1, WriteClosing::OkButton, "1.5e3", 0, "1500"},
        WriteCase{"CloseBoxStillWrites", 1, WriteClosing::CloseBox, "7", 1, "7"}),
    [](const ::testing::TestParamInfo<WriteCase>& info) { return info.param.name; });

TEST_F(DravikWindowTest, ReadOnlyItemCannotBeWritten) {
    ConnectThroughDialog(kSimServer);
    AddThroughDialog(QStringLiteral("Registers.ReadOnly"));
    ASSERT_TRUE(WaitForLineValue(0, QStringLiteral("7")));
    form->Timer1->stop();  // so the slot can be seen before a tick reads the item again
    WriteThroughDialog(0, QStringLiteral("5"));
    ASSERT_EQ(recorder->boxes.size(), 1u);
    EXPECT_EQ(recorder->boxes[0].text, QStringLiteral("Cannot write item!"));
    EXPECT_EQ(recorder->boxes[0].caption, QStringLiteral("Dravik"));
    // The slot holds the new number until the next tick reads the server's value again.
    EXPECT_EQ(form->Connection->ItemValues[0], 5.0);
    form->Timer1->start();
    EXPECT_TRUE(WaitForLineValue(0, QStringLiteral("7")));
}

TEST_F(DravikWindowTest, UserDisconnectWritesItsLineAndEmptiesTheList) {
    ConnectThroughDialog(kFaultServer);
    AddThroughDialog(QStringLiteral("Number.R8"));
    form->Button3->click();
    EXPECT_FALSE(form->Connected);
    EXPECT_EQ(form->Connection, nullptr);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("KORVA OPC Test Client"));
    EXPECT_EQ(form->ListBox1->count(), 0);
    ASSERT_EQ(StatusLines().size(), 2);
    EXPECT_TRUE(IsStatusLine(StatusLines()[1], QStringLiteral("Disconnected by user at ")));
    EXPECT_TRUE(WaitFor([&] { return form->Edit1->text() == QStringLiteral("???"); }));
    // The server learns of it only through the released references.
    const OpcFaultStats stats = FaultStats();
    EXPECT_EQ(stats.liveServers, 0u);
    EXPECT_EQ(stats.calls[OPC_FAULT_REMOVEGROUP], 0u);
    EXPECT_EQ(stats.calls[OPC_FAULT_UNADVISE], 0u);
    EXPECT_EQ(stats.calls[OPC_FAULT_REMOVEITEMS], 0u);
}

TEST_F(DravikWindowTest, ClearMessagesKeepsTheConnectionAndItems) {
    ConnectThroughDialog(kFaultServer);
    AddThroughDialog(QStringLiteral("Number.I4"));
    ASSERT_FALSE(StatusLines().isEmpty());
    form->Button7->click();
    EXPECT_TRUE(form->Memo1->toPlainText().isEmpty());
    EXPECT_TRUE(form->Connected);
    EXPECT_EQ(form->ListBox1->count(), 1);
    EXPECT_TRUE(WaitForLineValue(0, QStringLiteral("42")));
}

TEST_F(DravikWindowTest, HelpWithoutAPdfReaderSaysSo) {
    form->Button6->click();
    ASSERT_EQ(recorder->boxes.size(), 1u);
    EXPECT_EQ(recorder->boxes[0].text, QStringLiteral("PDF Reader not found!"));
    EXPECT_EQ(recorder->boxes[0].owner, form.get());
}

TEST_F(DravikWindowTest, CloseHidesTheWindowAndDestroyingItReleasesTheConnection) {
    ConnectThroughDialog(kFaultServer);
    AddThroughDialog(QStringLiteral("Number.R8"));
    ASSERT_EQ(FaultStats().liveServers, 1u);
    form->Button1->click();
    EXPECT_FALSE(form->isVisible());
    form.reset();
    const OpcFaultStats stats = FaultStats();
    EXPECT_EQ(stats.liveObjects, 0u);
    EXPECT_EQ(stats.calls[OPC_FAULT_REMOVEGROUP], 0u) << "nothing is sent to the server on close";
    EXPECT_EQ(stats.calls[OPC_FAULT_UNADVISE], 0u);
}

// ---- The server's shutdown request ------------------------------------------------------------

void ExpectShutdownSeen(const TForm1& form, const Recorder& recorder, int statusLinesBefore) {
    EXPECT_FALSE(form.Connected);
    EXPECT_EQ(form.Connection, nullptr);
    EXPECT_TRUE(form.LogUserDisconnect);
    EXPECT_EQ(form.windowTitle(),
              QStringLiteral("KORVA OPC Test Client (Server requested disconnect.)"));
    EXPECT_EQ(recorder.beeps, 1);
    EXPECT_EQ(form.ListBox1->count(), 0);
    const QStringList lines = form.Memo1->toPlainText().split(u'\n');
    ASSERT_EQ(lines.size(), statusLinesBefore + 1);
    // One line, the shutdown's own: no user-disconnect line for it.
    EXPECT_TRUE(IsStatusLine(lines.back(), QStringLiteral("Server requested disconnect at ")))
        << lines.back().toStdString();
}

TEST_F(DravikWindowTest, ShutdownThroughTheSimulationServersTriggerInsideAWrite) {
    ConnectThroughDialog(kSimServer);
    AddThroughDialog(QStringLiteral("Signals.Constant"));
    AddThroughDialog(QStringLiteral("Server.Shutdown"));
    ASSERT_EQ(StatusLines().size(), 1);

    // The write handler waits for the server while the server calls the sink on this thread;
    // the handler then finds its connection gone and stops quietly.
    WriteThroughDialog(1, QStringLiteral("1"));
    ExpectShutdownSeen(*form, *recorder, 1);
    EXPECT_TRUE(recorder->boxes.empty());

    // A later user Disconnect does nothing; a later Connect works and writes its own caption.
    form->Button3->click();
    EXPECT_EQ(StatusLines().size(), 2);
    EXPECT_TRUE(WaitFor([&] { return form->Edit1->text() == QStringLiteral("???"); }));
    ConnectThroughDialog(kSimServer);
    EXPECT_TRUE(form->Connected);
    EXPECT_EQ(form->windowTitle(), kConnectedCaption.arg(kSimServer));
    EXPECT_EQ(StatusLines().size(), 3);
}

TEST_F(DravikWindowTest, ShutdownFromAnotherThreadArrivesThroughTheWindowsEventLoop) {
    ConnectThroughDialog(kFaultServer);
    AddThroughDialog(QStringLiteral("Number.R8"));
    std::thread server([this] { EXPECT_EQ(Fault().SendShutdown("maintenance"), 1); });
    server.join();
    // Posted to the window's apartment: nothing happens until the event loop runs it.
    EXPECT_TRUE(form->Connected);
    ASSERT_TRUE(WaitFor([&] { return !form->Connected; }));
    ExpectShutdownSeen(*form, *recorder, 1);
}

struct DialogShutdownCase {
    const char* name;
    bool addDialog;          // else the write dialog
    bool fromAnotherThread;  // posted to the window's apartment, else a direct call
};

class ShutdownDuringDialogTest : public DravikTest,
                                 public ::testing::WithParamInterface<DialogShutdownCase> {};

TEST_P(ShutdownDuringDialogTest, TheHandlerFindsItsConnectionGoneAndStopsQuietly) {
    const DialogShutdownCase& c = GetParam();
    ConnectThroughDialog(kFaultServer);
    AddThroughDialog(QStringLiteral("Number.R8"));
    ASSERT_EQ(StatusLines().size(), 1);
    const uint32_t addsBefore = FaultStats().calls[OPC_FAULT_ADDITEMS];

    auto shutdownThenOk = [this, c](QDialog* dialog, QPushButton* ok) {
        if (c.fromAnotherThread) {
            std::thread server([this] { Fault().SendShutdown("bye"); });
            server.join();
        } else {
            Fault().SendShutdown("bye");
        }
        // The modal loop keeps running: the timer ticks and posted calls arrive behind it.
        EXPECT_TRUE(WaitFor([&] { return !form->Connected; }));
        EXPECT_TRUE(dialog->isVisible());
        ok->click();
    };
    if (c.addDialog) {
        WhenModal<TDravikAddTagDialog>(
            [&](TDravikAddTagDialog* dialog) { shutdownThenOk(dialog, dialog->OKBtn); });
        form->Button4->click();
    } else {
        WhenModal<TDravikWriteTagDialog>([&](TDravikWriteTagDialog* dialog) {
            QTest::keyClicks(dialog->ValueEdit, QStringLiteral("5"));
            shutdownThenOk(dialog, dialog->OKBtn);
        });
        form->Button5->click();
    }
    ExpectShutdownSeen(*form, *recorder, 1);
    EXPECT_TRUE(recorder->boxes.empty());
    const OpcFaultStats stats = FaultStats();
    EXPECT_EQ(stats.calls[OPC_FAULT_ADDITEMS], addsBefore);
    EXPECT_EQ(stats.calls[OPC_FAULT_WRITE], 0u);
    EXPECT_EQ(stats.liveObjects, 0u) << "the connection's references are released";
}

INSTANTIATE_TEST_SUITE_P(Cases, ShutdownDuringDialogTest,
                         ::testing::Values(DialogShutdownCase{"AddDialogDirect", true, false},
                                           DialogShutdownCase{"AddDialogPosted", true, true},
                                           DialogShutdownCase{"WriteDialogDirect", false, false},
                                           DialogShutdownCase{"WriteDialogPosted", false, true}),
                         [](const ::testing::TestParamInfo<DialogShutdownCase>& info) {
                             return info.param.name;
                         });

TEST_F(DravikWindowTest, ShutdownRequestOfAnEarlierConnection) {
    ConnectThroughDialog(kFaultServer);
    const ComPtr<IOPCShutdown> earlierSink = form->Connection->ShutdownSink;
    form->Button3->click();
    ASSERT_EQ(StatusLines().size(), 2);

    // While another connection is open, the earlier server's request must not end it.
    ConnectThroughDialog(kSimServer);
    ASSERT_TRUE(form->Connected);
    EXPECT_EQ(earlierSink->ShutdownRequest(u"late"), S_OK);
    EXPECT_TRUE(form->Connected);
    EXPECT_EQ(form->windowTitle(), kConnectedCaption.arg(kSimServer));
    EXPECT_EQ(recorder->beeps, 0);
    EXPECT_EQ(StatusLines().size(), 3);

    // With no connection open it runs the steps: nothing to disconnect, but the beep, the
    // caption and the status line.
    form->Button3->click();
    ASSERT_EQ(StatusLines().size(), 4);
    EXPECT_EQ(earlierSink->ShutdownRequest(u"late"), S_OK);
    ExpectShutdownSeen(*form, *recorder, 4);
}

TEST_F(DravikWindowTest, ShutdownSinkThatOutlivesTheWindowDoesNothing) {
    ConnectThroughDialog(kFaultServer);
    const ComPtr<IOPCShutdown> sink = form->Connection->ShutdownSink;
    form.reset();
    EXPECT_EQ(sink->ShutdownRequest(u"after the end"), S_OK);
    EXPECT_EQ(recorder->beeps, 0);
}

}  // namespace
