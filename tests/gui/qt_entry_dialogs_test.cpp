// The entry dialogs through the port the panel commands call: each opens
// modally over the window, and what the user does in it comes back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPointer>
#include <QRadioButton>
#include <QTimer>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>

#include "gui/entry_dialog_probe.h"
#include "panel/qt_entry_dialogs.h"

namespace tavlin {
namespace {

using test::Click;
using test::Field;
using test::PressEnter;
using test::PressEscape;
using test::TypeInto;

constexpr int kGuardMs = 5000;

class QtEntryDialogsTest : public ::testing::Test {
  protected:
    QtEntryDialogsTest() : window_(std::make_unique<QWidget>()), dialogs_(window_.get()) {
        window_->show();
        // A test whose interaction does not close its dialog fails here
        // instead of waiting forever in the modal loop.
        guard_.setSingleShot(false);
        QObject::connect(&guard_, &QTimer::timeout, [] {
            if (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                ADD_FAILURE() << "dialog \"" << open->windowTitle().toStdString()
                              << "\" was still open";
                open->reject();
            }
        });
        guard_.start(kGuardMs);
    }

    // Does what the user does once the next modal dialog is open.
    void WhenOpen(std::function<void(QDialog&)> interact) {
        QTimer::singleShot(0, [this, interact] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr) << "no modal dialog open";
            openedOver_ = dialog->parentWidget();
            interact(*dialog);
        });
    }

    std::unique_ptr<QWidget> window_;
    QtEntryDialogs dialogs_;
    QTimer guard_;
    QWidget* openedOver_ = nullptr;
};

TEST_F(QtEntryDialogsTest, KeypadReturnsTheFrequencyAndOpensOverTheWindow) {
    WhenOpen([](QDialog& dialog) {
        EXPECT_TRUE(dialog.isModal());
        for (const char* key : {"1", ".", "5", "GHz"}) {
            Click(dialog, key);
        }
    });
    EXPECT_EQ(dialogs_.EnterFrequency("CENTER FREQ", 902e6), 1.5e9);
    EXPECT_EQ(openedOver_, window_.get());
}

TEST_F(QtEntryDialogsTest, CancelledDialogsReturnNothing) {
    const auto escape = [](QDialog& dialog) { PressEscape(Field(dialog)); };
    WhenOpen(escape);
    EXPECT_EQ(dialogs_.EnterFrequency("SPAN", 1e6), std::nullopt);
    WhenOpen(escape);
    EXPECT_EQ(dialogs_.EnterAmplitude("REF LEVEL", 0.0), std::nullopt);
    WhenOpen(escape);
    EXPECT_EQ(dialogs_.EnterZeroSpan(10.0), std::nullopt);
    WhenOpen([](QDialog& dialog) { Click(dialog, "Cancel"); });
    EXPECT_EQ(dialogs_.EnterTitle("x"), std::nullopt);
    WhenOpen([](QDialog& dialog) { dialog.reject(); });
    EXPECT_EQ(dialogs_.ChooseAttenuator(1), std::nullopt);
}

TEST_F(QtEntryDialogsTest, StepFrequencyWithoutStartTakesEnterAsHz) {
    WhenOpen([](QDialog& dialog) {
        EXPECT_EQ(Field(dialog)->text(), "0");
        Click(dialog, "5");
        PressEnter(Field(dialog));
    });
    EXPECT_EQ(dialogs_.EnterFrequency("STEP FREQ", std::nullopt), 5.0);
}

TEST_F(QtEntryDialogsTest, ARefusedValueKeepsTheDialogOpenUntilAGoodOne) {
    WhenOpen([](QDialog& dialog) {
        TypeInto(Field(dialog), "0");
        Click(dialog, "mV");
        EXPECT_TRUE(dialog.isVisible());
        TypeInto(Field(dialog), "1");
        Click(dialog, "mV");
    });
    const std::optional<double> level = dialogs_.EnterAmplitude("REF LEVEL", -10.0);
    ASSERT_TRUE(level);
    EXPECT_DOUBLE_EQ(*level, -46.9897);
}

TEST_F(QtEntryDialogsTest, EveryDialogHandsBackWhatWasAccepted) {
    WhenOpen([](QDialog& dialog) {
        TypeInto(Field(dialog), "0");
        Click(dialog, "dBmV");
    });
    EXPECT_DOUBLE_EQ(*dialogs_.EnterAmplitude("TRIGGER LEVEL", -20.0), -46.9897);

    WhenOpen([](QDialog& dialog) {
        TypeInto(Field(dialog), "5");
        PressEnter(Field(dialog));
    });
    EXPECT_EQ(dialogs_.EnterDb(10.0), 5.0);

    WhenOpen([](QDialog& dialog) {
        TypeInto(Field(dialog), "Band edge");
        PressEnter(Field(dialog));
    });
    EXPECT_EQ(dialogs_.EnterTitle(""), "Band edge");

    WhenOpen([](QDialog& dialog) {
        TypeInto(Field(dialog), "500");
        QTest::mouseClick(dialog.findChildren<QRadioButton*>()[1], Qt::LeftButton);
        Click(dialog, "OK");
    });
    const std::optional<ZeroSpanChoice> zeroSpan = dialogs_.EnterZeroSpan(10.0);
    ASSERT_TRUE(zeroSpan);
    EXPECT_EQ(zeroSpan->sweepTimeMs, 500.0);
    EXPECT_TRUE(zeroSpan->fm);

    WhenOpen([](QDialog& dialog) {
        TypeInto(Field(dialog), "50");
        Click(dialog, "OK");
    });
    EXPECT_EQ(dialogs_.EnterSpanRbwRatio(80.0), 50.0);

    WhenOpen([](QDialog& dialog) {
        dialog.findChild<QComboBox*>()->setCurrentIndex(1);
        Click(dialog, "OK");
    });
    EXPECT_EQ(dialogs_.ChooseAttenuator(3), 1);

    WhenOpen([](QDialog& dialog) {
        TypeInto(Field(dialog), "250");
        Click(dialog, "msec");
    });
    EXPECT_EQ(dialogs_.EnterExtraDelay(0), 250);

    WhenOpen([](QDialog& dialog) {
        const QList<QLineEdit*> fields = dialog.findChildren<QLineEdit*>();
        TypeInto(fields[2], "4000");
        Click(dialog, "OK");
    });
    const std::optional<TcpIpSettings> tcp = dialogs_.EnterTcpIp(TcpIpSettings{});
    ASSERT_TRUE(tcp);
    EXPECT_EQ(tcp->address, "127.0.0.1");
    EXPECT_EQ(tcp->commandPort, 3976);
    EXPECT_EQ(tcp->dataPort, 4000);
}

TEST_F(QtEntryDialogsTest, AWindowClosedUnderAnOpenDialogCancelsIt) {
    WhenOpen([this](QDialog& dialog) {
        QPointer<QDialog> watched(&dialog);
        window_.reset();
        EXPECT_TRUE(watched.isNull()) << "the dialog goes with its window";
    });
    EXPECT_EQ(dialogs_.EnterFrequency("CENTER FREQ", 902e6), std::nullopt);

    // Without the window the dialogs open on their own.
    WhenOpen([](QDialog& dialog) { PressEnter(Field(dialog)); });
    EXPECT_EQ(dialogs_.EnterDb(3.0), 3.0);
    EXPECT_EQ(openedOver_, nullptr);
}

TEST_F(QtEntryDialogsTest, OpeningFromAnotherThreadIsAProgrammingError) {
    bool threw = false;
    std::thread other([&] {
        try {
            dialogs_.EnterDb(1.0);
        } catch (const std::logic_error&) {
            threw = true;
        }
    });
    other.join();
    EXPECT_TRUE(threw);
}

}  // namespace
}  // namespace tavlin
