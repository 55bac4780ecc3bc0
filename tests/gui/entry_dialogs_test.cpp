// The value-entry dialogs driven as a user drives them: buttons clicked, text
// typed, Enter and Escape pressed, without running a modal loop.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "gui/entry_dialog_probe.h"
#include "panel/qt_amplitude_dialog.h"
#include "panel/qt_attenuator_dialog.h"
#include "panel/qt_db_entry_dialog.h"
#include "panel/qt_extra_delay_dialog.h"
#include "panel/qt_keypad_dialog.h"
#include "panel/qt_ratio_dialog.h"
#include "panel/qt_tcp_ip_dialog.h"
#include "panel/qt_title_dialog.h"
#include "panel/qt_zero_span_dialog.h"

namespace tavlin {
namespace {

using test::Button;
using test::Click;
using test::Field;
using test::PressEnter;
using test::PressEscape;
using test::Refusal;
using test::TypeInto;

const QStringList kUnitCaptions = {"GHz", "MHz", "KHz", "Hz"};

// The unit button drawn as the default, or "" when there is none.
QString DefaultUnit(QDialog& dialog) {
    for (const QString& caption : kUnitCaptions) {
        if (Button(dialog, caption)->isDefault()) {
            return caption;
        }
    }
    return "";
}

TEST(KeypadDialog, ShowsTheStartingValueInItsUnitWithThatUnitAsDefault) {
    struct Case {
        double hz;
        const char* shown;
        const char* unit;
    };
    for (const Case& c :
         {Case{902e6, "902", "MHz"}, Case{0.0, "0", "Hz"}, Case{1000.0, "1000", "Hz"},
          Case{1500.0, "1.5", "KHz"}, Case{4.4e9, "4.4", "GHz"}, Case{2.5e15, "2500000", "GHz"}}) {
        QtKeypadDialog dialog("CENTER FREQ", c.hz);
        dialog.show();
        EXPECT_EQ(Field(dialog)->text(), c.shown) << c.hz;
        EXPECT_EQ(DefaultUnit(dialog), c.unit) << c.hz;
    }
}

TEST(KeypadDialog, ShowsTitleLabelAndEveryKey) {
    QtKeypadDialog dialog("START FREQ", 1e6);
    EXPECT_EQ(dialog.windowTitle(), "Enter Value");
    EXPECT_TRUE(dialog.findChild<QLabel*>() != nullptr);
    bool labelShown = false;
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        labelShown = labelShown || label->text() == "START FREQ";
    }
    EXPECT_TRUE(labelShown);
    for (const char* key : {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "."}) {
        EXPECT_NE(Button(dialog, key), nullptr) << key;
    }
    EXPECT_TRUE(Refusal(dialog).isEmpty());
}

TEST(KeypadDialog, DigitsReplaceTheStartingValueAndAUnitButtonAccepts) {
    QtKeypadDialog dialog("CENTER FREQ", 902e6);
    dialog.show();
    for (const char* key : {"1", ".", "5"}) {
        Click(dialog, key);
    }
    EXPECT_EQ(Field(dialog)->text(), "1.5");
    Click(dialog, "GHz");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.ResultHz(), 1.5e9);
}

TEST(KeypadDialog, OnlyTheFirstDigitInTheDialogsLifeClearsTheField) {
    QtKeypadDialog dialog("SPAN", 20e6);
    dialog.show();
    TypeInto(Field(dialog), "12");  // typing replaces the selected start, no clearing rule
    EXPECT_EQ(Field(dialog)->text(), "12");
    Click(dialog, "3");
    Click(dialog, "0");
    EXPECT_EQ(Field(dialog)->text(), "30");
    QTest::keyClicks(Field(dialog), "0");  // the cursor stays at the end
    Click(dialog, "7");
    EXPECT_EQ(Field(dialog)->text(), "3007");
}

TEST(KeypadDialog, EachUnitButtonScalesTheField) {
    struct Case {
        const char* unit;
        double hz;
    };
    for (const Case& c :
         {Case{"GHz", 2.5e9}, Case{"MHz", 2.5e6}, Case{"KHz", 2.5e3}, Case{"Hz", 2.5}}) {
        QtKeypadDialog dialog("STOP FREQ", 915e6);
        dialog.show();
        Click(dialog, "2");
        Click(dialog, ".");
        Click(dialog, "5");
        Click(dialog, c.unit);
        EXPECT_EQ(dialog.result(), QDialog::Accepted) << c.unit;
        EXPECT_EQ(dialog.ResultHz(), c.hz) << c.unit;
    }
}

TEST(KeypadDialog, EnterAcceptsInTheStartingUnit) {
    QtKeypadDialog dialog("CENTER FREQ", 915e6);
    dialog.show();
    TypeInto(Field(dialog), "100");
    PressEnter(Field(dialog));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.ResultHz(), 100e6);
}

TEST(KeypadDialog, EnterStillAcceptsAfterADigitButtonWasClicked) {
    QtKeypadDialog dialog("CENTER FREQ", 4.4e9);
    dialog.show();
    Click(dialog, "2");
    PressEnter(Field(dialog));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.ResultHz(), 2e9);
}

TEST(KeypadDialog, WithoutAStartingValueShowsZeroOffersNoUnitAndEnterMeansHz) {
    QtKeypadDialog dialog("STEP FREQ", std::nullopt);
    dialog.show();
    EXPECT_EQ(Field(dialog)->text(), "0");
    EXPECT_EQ(DefaultUnit(dialog), "");
    Click(dialog, "2");
    Click(dialog, "5");
    PressEnter(Field(dialog));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.ResultHz(), 25.0);

    QtKeypadDialog withUnit("STEP FREQ", std::nullopt);
    withUnit.show();
    Click(withUnit, "2");
    Click(withUnit, "5");
    Click(withUnit, "KHz");
    EXPECT_EQ(withUnit.ResultHz(), 25e3);
}

TEST(KeypadDialog, RefusesTextAndNonFiniteResultsAndStaysOpen) {
    QtKeypadDialog dialog("CENTER FREQ", 902e6);
    dialog.show();
    TypeInto(Field(dialog), "1.2.3");
    Click(dialog, "MHz");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(Refusal(dialog), "Please enter a number.");
    EXPECT_EQ(Field(dialog)->selectedText(), "1.2.3");

    TypeInto(Field(dialog), "1e306");
    EXPECT_TRUE(Refusal(dialog).isEmpty()) << "editing the field clears the message";
    Click(dialog, "GHz");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(Refusal(dialog), "The number is out of range.");

    TypeInto(Field(dialog), "1e300");
    PressEnter(Field(dialog));  // in MHz, still finite
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_DOUBLE_EQ(dialog.ResultHz(), 1e306);
}

TEST(KeypadDialog, EscapeCancels) {
    QtKeypadDialog dialog("CENTER FREQ", 902e6);
    dialog.show();
    Click(dialog, "5");
    PressEscape(Field(dialog));
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(AmplitudeDialog, EachUnitButtonConvertsToDbm) {
    struct Case {
        const char* typed;
        const char* unit;
        double dbm;
    };
    for (const Case& c : {Case{"1", "mV", -46.9897}, Case{"0", "dBmV", -46.9897},
                          Case{"-20", "dBm", -20.0}, Case{"100", "mV", 40.0 - 46.9897}}) {
        QtAmplitudeDialog dialog("REF LEVEL", -10.0);
        dialog.show();
        TypeInto(Field(dialog), c.typed);
        Click(dialog, c.unit);
        EXPECT_EQ(dialog.result(), QDialog::Accepted) << c.typed << c.unit;
        EXPECT_DOUBLE_EQ(dialog.ResultDbm(), c.dbm) << c.typed << c.unit;
    }
}

TEST(AmplitudeDialog, ShowsLabelAndStartAndEnterTakesDbm) {
    QtAmplitudeDialog dialog("TRIGGER LEVEL", -37.5);
    EXPECT_EQ(dialog.windowTitle(), "Enter Value");
    EXPECT_EQ(Field(dialog)->text(), "-37.5");
    bool labelShown = false;
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        labelShown = labelShown || label->text() == "TRIGGER LEVEL";
    }
    EXPECT_TRUE(labelShown);
    dialog.show();
    TypeInto(Field(dialog), "7");
    PressEnter(Field(dialog));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.ResultDbm(), 7.0);
}

TEST(AmplitudeDialog, MillivoltsOfZeroOrBelowAreRefusedInTheDialog) {
    QtAmplitudeDialog dialog("REF LEVEL", -10.0);
    dialog.show();
    for (const char* typed : {"0", "-3"}) {
        TypeInto(Field(dialog), typed);
        Click(dialog, "mV");
        EXPECT_TRUE(dialog.isVisible()) << typed;
        EXPECT_EQ(Refusal(dialog), "A level in mV must be greater than 0.") << typed;
    }
    TypeInto(Field(dialog), "10");
    Click(dialog, "mV");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_DOUBLE_EQ(dialog.ResultDbm(), 20.0 - 46.9897);
}

TEST(AmplitudeDialog, RefusesTextAndNonFiniteNumbers) {
    QtAmplitudeDialog dialog("REF LEVEL", -10.0);
    dialog.show();
    TypeInto(Field(dialog), "1e999");
    PressEnter(Field(dialog));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(Refusal(dialog), "The number is out of range.");
    TypeInto(Field(dialog), "-10 dBm");
    Click(dialog, "dBmV");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(Refusal(dialog), "Please enter a number.");
    PressEscape(Field(dialog));
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST(DbEntryDialog, TheDefaultButtonIsCaptionedDbAndTakesAnyNumber) {
    QtDbEntryDialog dialog(10.0);
    EXPECT_EQ(dialog.windowTitle(), "Enter Value");
    EXPECT_EQ(Field(dialog)->text(), "10");
    EXPECT_TRUE(Button(dialog, "dB")->isDefault());
    dialog.show();
    TypeInto(Field(dialog), "abc");
    PressEnter(Field(dialog));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(Refusal(dialog), "Please enter a number.");
    TypeInto(Field(dialog), "-0.5");
    PressEnter(Field(dialog));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.ResultDb(), -0.5);
}

TEST(ZeroSpanDialog, StartsAtTheGivenSweepTimeWithAmAndAnEmptyRbw) {
    QtZeroSpanDialog dialog(10.0);
    EXPECT_EQ(dialog.windowTitle(), "Zero Span Settings");
    const QList<QLineEdit*> fields = dialog.findChildren<QLineEdit*>();
    ASSERT_EQ(fields.size(), 2);
    EXPECT_EQ(fields[0]->text(), "10");
    EXPECT_TRUE(fields[1]->isReadOnly());
    EXPECT_TRUE(fields[1]->text().isEmpty());
    QStringList captions;
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        captions << label->text();
    }
    EXPECT_TRUE(captions.contains("Sweep Time (ms)"));
    EXPECT_TRUE(captions.contains("RBW (KHz)"));
    const QList<QRadioButton*> radios = dialog.findChildren<QRadioButton*>();
    ASSERT_EQ(radios.size(), 2);
    EXPECT_EQ(radios[0]->text(), "AM");
    EXPECT_TRUE(radios[0]->isChecked());
    EXPECT_EQ(radios[1]->text(), "FM");
    EXPECT_FALSE(dialog.ResultFm());
}

TEST(ZeroSpanDialog, RefusesSweepTimesOutsideHalfAMillisecondToTwoSeconds) {
    QtZeroSpanDialog dialog(10.0);
    dialog.show();
    for (const char* typed : {"0.4", "2001"}) {
        TypeInto(Field(dialog), typed);
        Click(dialog, "OK");
        EXPECT_TRUE(dialog.isVisible()) << typed;
        EXPECT_EQ(Refusal(dialog), "Please enter a number between 0.5 and 2000.") << typed;
    }
    TypeInto(Field(dialog), "0.5");
    QTest::mouseClick(dialog.findChildren<QRadioButton*>()[1], Qt::LeftButton);
    PressEnter(Field(dialog));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.ResultSweepTimeMs(), 0.5);
    EXPECT_TRUE(dialog.ResultFm());
}

TEST(RatioDialog, StartsWithTheRoundedRatioAndListsTheUsualOnes) {
    QtRatioDialog dialog(12.7);
    EXPECT_EQ(dialog.windowTitle(), "Span / RBW ratio");
    auto* list = dialog.findChild<QComboBox*>();
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->isEditable());
    EXPECT_EQ(list->currentText(), "13");
    QStringList entries;
    for (int i = 0; i < list->count(); ++i) {
        entries << list->itemText(i);
    }
    EXPECT_EQ(entries, QStringList({"160", "80", "40", "20", "10", "5", "2", "1"}));
}

TEST(RatioDialog, TakesATypedOrChosenRatio) {
    QtRatioDialog typed(80.0);
    typed.show();
    TypeInto(Field(typed), "50");
    Click(typed, "OK");
    EXPECT_EQ(typed.result(), QDialog::Accepted);
    EXPECT_EQ(typed.ResultRatio(), 50.0);

    QtRatioDialog chosen(80.0);
    chosen.show();
    chosen.findChild<QComboBox*>()->setCurrentIndex(2);
    PressEnter(Field(chosen));
    EXPECT_EQ(chosen.result(), QDialog::Accepted);
    EXPECT_EQ(chosen.ResultRatio(), 40.0);
}

TEST(RatioDialog, RefusesZeroNegativeAndTextInTheDialog) {
    QtRatioDialog dialog(80.0);
    dialog.show();
    for (const char* text : {"0", "-5", "wide"}) {
        TypeInto(Field(dialog), text);
        Click(dialog, "OK");
        EXPECT_TRUE(dialog.isVisible()) << text;
        EXPECT_EQ(Refusal(dialog), "The Span / RBW ratio must be a number greater than 0.") << text;
    }
}

TEST(TcpIpDialog, EditsTheAddressAndBothPorts) {
    QtTcpIpDialog dialog(TcpIpSettings{"127.0.0.1", 3976, 3977});
    EXPECT_EQ(dialog.windowTitle(), "Enter TCP/IP settings");
    const QList<QLineEdit*> fields = dialog.findChildren<QLineEdit*>();
    ASSERT_EQ(fields.size(), 3);
    EXPECT_EQ(fields[0]->text(), "127.0.0.1");
    EXPECT_EQ(fields[1]->text(), "3976");
    EXPECT_EQ(fields[2]->text(), "3977");
    QStringList captions;
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        captions << label->text();
    }
    for (const char* caption : {"IP Address", "Command Port", "Data Port"}) {
        EXPECT_TRUE(captions.contains(caption)) << caption;
    }
    dialog.show();
    TypeInto(fields[0], "192.168.1.20");
    TypeInto(fields[1], "5025");
    TypeInto(fields[2], "65535");
    Click(dialog, "OK");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Result().address, "192.168.1.20");
    EXPECT_EQ(dialog.Result().commandPort, 5025);
    EXPECT_EQ(dialog.Result().dataPort, 65535);
}

TEST(TcpIpDialog, RefusesPortsOutsideOneTo65535AndSaysWhichPort) {
    QtTcpIpDialog dialog(TcpIpSettings{});
    const QList<QLineEdit*> fields = dialog.findChildren<QLineEdit*>();
    dialog.show();
    TypeInto(fields[1], "0");
    Click(dialog, "OK");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(Refusal(dialog), "Command Port: Please enter an integer between 1 and 65535.");
    TypeInto(fields[1], "3976");
    TypeInto(fields[2], "65536");
    Click(dialog, "OK");
    EXPECT_EQ(Refusal(dialog), "Data Port: Please enter an integer between 1 and 65535.");
    TypeInto(fields[2], "port");
    PressEnter(fields[2]);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(Refusal(dialog), "Data Port: Please enter an integer.");
}

TEST(ExtraDelayDialog, TakesZeroTo5000MillisecondsWithTheMsecButton) {
    QtExtraDelayDialog dialog(200);
    EXPECT_EQ(dialog.windowTitle(), "Extra Delay");
    EXPECT_EQ(Field(dialog)->text(), "200");
    EXPECT_TRUE(Button(dialog, "msec")->isDefault());
    dialog.show();
    for (const char* typed : {"5001", "-1"}) {
        TypeInto(Field(dialog), typed);
        PressEnter(Field(dialog));
        EXPECT_TRUE(dialog.isVisible()) << typed;
        EXPECT_EQ(Refusal(dialog), "Please enter an integer between 0 and 5000.") << typed;
    }
    TypeInto(Field(dialog), "5000");
    Click(dialog, "msec");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.ResultMs(), 5000);
}

TEST(AttenuatorDialog, ListsTheStepsWithTheCallersChoiceSelected) {
    QtAttenuatorDialog dialog(2);
    EXPECT_EQ(dialog.windowTitle(), "ATTENUATOR SETTING");
    auto* list = dialog.findChild<QComboBox*>();
    ASSERT_NE(list, nullptr);
    EXPECT_FALSE(list->isEditable());
    QStringList entries;
    for (int i = 0; i < list->count(); ++i) {
        entries << list->itemText(i);
    }
    EXPECT_EQ(entries, QStringList({"0", "5", "10", "15"}));
    EXPECT_EQ(list->currentText(), "10");
    dialog.show();
    list->setCurrentIndex(3);
    Click(dialog, "OK");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.ResultIndex(), 3);
}

TEST(AttenuatorDialog, AnIndexOutsideTheListShowsTheNearestStep) {
    EXPECT_EQ(QtAttenuatorDialog(7).ResultIndex(), 3);
    EXPECT_EQ(QtAttenuatorDialog(-1).ResultIndex(), 0);
}

TEST(TitleDialog, EditsTheTitleAsTextWithOkAndCancel) {
    QtTitleDialog dialog("Phase noise");
    EXPECT_EQ(dialog.windowTitle(), "Set Title");
    EXPECT_EQ(Field(dialog)->text(), "Phase noise");
    dialog.show();
    TypeInto(Field(dialog), QString::fromUtf8("Filter 10.7 MHz \u00b1 5 kHz"));
    Click(dialog, "OK");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.ResultText(), "Filter 10.7 MHz \u00b1 5 kHz");

    QtTitleDialog cancelled("");
    cancelled.show();
    Click(cancelled, "Cancel");
    EXPECT_EQ(cancelled.result(), QDialog::Rejected);
}

// Fixed-size keys must still show their whole caption in the application font.
TEST(EntryDialogLayout, EveryButtonCaptionFitsItsButton) {
    QtKeypadDialog keypad("CENTER FREQ", 902e6);
    QtAmplitudeDialog amplitude("REF LEVEL", 0.0);
    QtDbEntryDialog db(10.0);
    QtExtraDelayDialog delay(0);
    for (QDialog* dialog : std::initializer_list<QDialog*>{&keypad, &amplitude, &db, &delay}) {
        dialog->show();
        for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
            const int captionWidth = button->fontMetrics().horizontalAdvance(button->text());
            EXPECT_LE(captionWidth + 8, button->width()) << button->text().toStdString();
            EXPECT_GE(button->height(), button->fontMetrics().height() + 4)
                << button->text().toStdString();
        }
    }
}

}  // namespace
}  // namespace tavlin
