// The value-entry dialogs through the port the panel commands call, driven as
// a user drives them: keys clicked, text typed, Enter and Escape pressed. The
// values each rule takes or refuses are tested with the rule, in
// tests/panel/entry_rules_test.cpp; here each dialog shows a refusal and
// hands back what was accepted.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>

#include "panel/qt_entry_dialogs.h"
#include "panel/qt_refusal_label.h"

namespace tavlin {
namespace {

QPushButton* Button(QDialog& dialog, const QString& caption) {
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        if (button->text() == caption) {
            return button;
        }
    }
    ADD_FAILURE() << "no button \"" << caption.toStdString() << "\"";
    return nullptr;
}

QLineEdit* Field(QDialog& dialog, int index = 0) {
    return dialog.findChildren<QLineEdit*>().value(index);
}

// Replaces a field's text by typing, as after selecting it all.
void Type(QDialog& dialog, const QString& text, int field = 0) {
    Field(dialog, field)->selectAll();
    QTest::keyClicks(Field(dialog, field), text);
}

// Clicks the button with this caption, or presses Enter in the field.
void Confirm(QDialog& dialog, const QString& caption, int field = 0) {
    if (caption.isEmpty()) {
        QTest::keyClick(Field(dialog, field), Qt::Key_Return);
    } else if (QPushButton* button = Button(dialog, caption)) {
        QTest::mouseClick(button, Qt::LeftButton);
    }
}

class QtEntryDialogsTest : public ::testing::Test {
  protected:
    QtEntryDialogsTest() : window_(std::make_unique<QWidget>()), dialogs_(window_.get()) {
        window_->show();
        // A case whose interaction does not close its dialog fails here
        // instead of waiting forever in the modal loop.
        QObject::connect(&guard_, &QTimer::timeout, [] {
            if (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                ADD_FAILURE() << "dialog \"" << open->windowTitle().toStdString()
                              << "\" was still open";
                open->reject();
            }
        });
        guard_.start(5000);
    }

    // Does what the user does once the next dialog is open, modally.
    void WhenOpen(std::function<void(QDialog&)> use) {
        QTimer::singleShot(0, [this, use] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr) << "no modal dialog open";
            EXPECT_TRUE(dialog->isModal());
            openedOver_ = dialog->parentWidget();
            use(*dialog);
        });
    }

    std::unique_ptr<QWidget> window_;
    QtEntryDialogs dialogs_;
    QTimer guard_;
    QWidget* openedOver_ = nullptr;
};

// Each dialog first refuses a value (where its rule refuses any) and says
// why, then takes one and hands it back.
TEST_F(QtEntryDialogsTest, EachDialogShowsARefusalAndHandsBackTheValueTaken) {
    struct Row {
        const char* name;
        QString refused, taken, button;
        int field;
        std::function<void(EntryDialogs&)> openAndCheck;
    };
    const std::vector<Row> rows = {
        {"amplitude", "0", "1", "mV", 0,
         [](EntryDialogs& d) {
             EXPECT_DOUBLE_EQ(d.EnterAmplitude("REF LEVEL", -10.0).value_or(0.0), -46.9897);
         }},
        {"keypad without a start: Enter means Hz", "", "5", "", 0,
         [](EntryDialogs& d) { EXPECT_EQ(d.EnterFrequency("STEP FREQ", std::nullopt), 5.0); }},
        {"dB", "abc", "-0.5", "", 0, [](EntryDialogs& d) { EXPECT_EQ(d.EnterDb(10.0), -0.5); }},
        {"zero span", "0.4", "500", "OK", 0,
         [](EntryDialogs& d) {
             EXPECT_EQ(d.EnterZeroSpan(10.0).value_or(ZeroSpanChoice{}).sweepTimeMs, 500.0);
         }},
        {"ratio", "0", "50", "OK", 0,
         [](EntryDialogs& d) { EXPECT_EQ(d.EnterSpanRbwRatio(80.0), 50.0); }},
        {"extra delay", "5001", "250", "msec", 0,
         [](EntryDialogs& d) { EXPECT_EQ(d.EnterExtraDelay(200), 250); }},
        {"TCP/IP data port", "65536", "4000", "OK", 2,
         [](EntryDialogs& d) {
             EXPECT_EQ(d.EnterTcpIp(TcpIpSettings{}).value_or(TcpIpSettings{}).dataPort, 4000);
         }},
        {"title", "", QString::fromUtf8("Filter \u00b1 5 kHz"), "OK", 0,
         [](EntryDialogs& d) { EXPECT_EQ(d.EnterTitle("Phase noise"), "Filter \u00b1 5 kHz"); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WhenOpen([&row](QDialog& dialog) {
            if (!row.refused.isEmpty()) {
                Type(dialog, row.refused, row.field);
                Confirm(dialog, row.button, row.field);
                auto* refusal = dialog.findChild<QtRefusalLabel*>();
                EXPECT_TRUE(dialog.isVisible() && refusal->isVisibleTo(&dialog) &&
                            !refusal->text().isEmpty());
            }
            Type(dialog, row.taken, row.field);
            Confirm(dialog, row.button, row.field);
        });
        row.openAndCheck(dialogs_);
        EXPECT_EQ(openedOver_, window_.get());
    }
}

TEST_F(QtEntryDialogsTest, KeypadStartsInItsUnitAndTheFirstKeyClearsTheField) {
    WhenOpen([](QDialog& dialog) {
        EXPECT_EQ(Field(dialog)->text(), "902");
        EXPECT_TRUE(Button(dialog, "MHz")->isDefault());
        for (const char* key : {"1", ".", "5", "GHz"}) {
            Confirm(dialog, key);
        }
    });
    EXPECT_EQ(dialogs_.EnterFrequency("CENTER FREQ", 902e6), 1.5e9);
}

TEST_F(QtEntryDialogsTest, TheAttenuatorIsChosenFromAList) {
    WhenOpen([](QDialog& dialog) {
        auto* list = dialog.findChild<QComboBox*>();
        EXPECT_EQ(list->currentIndex(), 3) << "an index past the list shows its last step";
        list->setCurrentIndex(1);
        Confirm(dialog, "OK");
    });
    EXPECT_EQ(dialogs_.ChooseAttenuator(7), 1);
}

TEST_F(QtEntryDialogsTest, AWindowClosedUnderAnOpenDialogCancelsIt) {
    WhenOpen([this](QDialog& dialog) {
        QPointer<QDialog> watched(&dialog);
        window_.reset();
        EXPECT_TRUE(watched.isNull()) << "the dialog goes with its window";
    });
    EXPECT_EQ(dialogs_.EnterFrequency("CENTER FREQ", 902e6), std::nullopt);

    // Without the window the dialogs open on their own.
    WhenOpen([](QDialog& dialog) { Confirm(dialog, ""); });
    EXPECT_EQ(dialogs_.EnterDb(3.0), 3.0);
    EXPECT_EQ(openedOver_, nullptr);
}

TEST_F(QtEntryDialogsTest, OpeningFromAnotherThreadIsAProgrammingError) {
    std::thread([this] { EXPECT_THROW(dialogs_.EnterDb(1.0), std::logic_error); }).join();
}

}  // namespace
}  // namespace tavlin
