#include "tests/support/ScriptedDialogs.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

// The tear-down check is what stops a test from passing while the question
// it scripted an answer for was never asked.
TEST(ScriptedDialogsTest, AnAnswerLeftUnaskedFailsTheTest)
{
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedDialogs d;
            d.answer(MsgResult::Yes);
        },
        "1 message box(es), 0 file dialog(s)");
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedDialogs d;
            d.answer(MsgResult::No);
            d.answerFile(std::nullopt);
            d.answerFileReadOnly("/tmp/x.dbf");
            d.messageBox("Save?", "Brenvoy", MsgButtons::YesNo, MsgIcon::Question);
        },
        "0 message box(es), 2 file dialog(s)");
}

TEST(ScriptedDialogsTest, EveryAnswerAskedForPasses)
{
    ScriptedDialogs d;
    d.answer(MsgResult::Cancel);
    d.answerFile(QStringLiteral("/tmp/a.dbf"));
    EXPECT_EQ(d.messageBox("Replace?", "Brenvoy", MsgButtons::OkCancel, MsgIcon::Warning), MsgResult::Cancel);
    EXPECT_EQ(d.openFile({}), std::optional<QString>(QStringLiteral("/tmp/a.dbf")));
    // An OK-only box takes no answer from the script.
    d.messageBox("Done", "Brenvoy", MsgButtons::Ok, MsgIcon::Information);
}
