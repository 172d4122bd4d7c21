// What assistive technology reads of the window's controls, through Qt's accessibility
// interfaces, which the AT-SPI bridge hands on (tests/ui/atspi reads them over the bus).
#include <QAbstractButton>
#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>

#include "form_fixture.h"
#include "ui/accessible_names.h"

namespace {

std::string AccessibleText(QObject* object, QAccessible::Text kind) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(object);
    return face != nullptr ? StdStr(face->text(kind)) : std::string();
}

// A name a screen reader can say: it holds a letter or a digit, not punctuation alone.
bool Sayable(const std::string& name) {
    return QStr(name).contains(QRegularExpression(QStringLiteral("[[:alnum:]]")));
}

template <class TControl>
void ExpectEachNamed(const QWidget& window) {
    for (TControl* control : window.findChildren<TControl*>()) {
        const std::string name = AccessibleText(control, QAccessible::Name);
        EXPECT_TRUE(Sayable(name)) << StdStr(control->objectName()) << " of class "
                                   << control->metaObject()->className() << " is read as \"" << name << "\"";
    }
}

}  // namespace

TEST_F(FormTest, EveryButtonCheckBoxAndBoxHasANameThatIsNotPunctuation) {
    CreateForm();
    ExpectEachNamed<QAbstractButton>(*form);  // push buttons and check boxes
    ExpectEachNamed<QLineEdit>(*form);
}

TEST_F(FormTest, ThePickersAndTheAboutButtonAreNamedForWhatTheyDo) {
    CreateForm();
    const struct {
        const char* control;
        std::string name;
    } cases[] = {
        {"Edit1", ".PAK file"},
        {"Edit2", "Directory"},
        {"Button_selectPAK", "Choose the .PAK file..."},
        {"Button_selDIR", "Choose the directory..."},
        {"Button_Info", "About"},
        {"Button_updateX", "ReplaceX"},
        {"CheckBox_XBOX", "XBOX 360 archive"},
    };
    for (const auto& c : cases) {
        QWidget* control = Find<QWidget>(c.control);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(AccessibleText(control, QAccessible::Name), c.name) << c.control;
        EXPECT_FALSE(AccessibleText(control, QAccessible::Description).empty()) << c.control;
    }
}

TEST_F(FormTest, EachLabelIsTheBuddyOfItsBox) {
    CreateForm();
    EXPECT_EQ(Find<QLabel>("Label1")->buddy(), Edit("Edit1"));
    EXPECT_EQ(Find<QLabel>("Label2")->buddy(), Edit("Edit2"));
}

TEST(AccessibleProgram, TheApplicationIsReadByTheProgramsNameNotTheWindowClass) {
    NameProgramForAssistiveTechnology();
    EXPECT_EQ(AccessibleText(qApp, QAccessible::Name), AccessibleProgramName);
    EXPECT_EQ(AccessibleProgramName, "vpak-gui");
}
