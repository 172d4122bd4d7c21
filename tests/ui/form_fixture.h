// A window under test: scripted dialogs, a settings file in a fresh directory, and a record
// of every caption the window shows.
#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <QWindow>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "helpers/temp_dir.h"
#include "ui/contents_tree.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/text_bridge.h"

// What the scripted dialogs answer, and what they were asked.
struct TDialogScript {
    std::function<bool(TOpenDialogState&)> onOpen = [](TOpenDialogState&) { return false; };
    std::function<bool(const std::string& title, const std::string& preselected, std::string& chosen)> onFolder =
        [](const std::string&, const std::string&, std::string&) { return false; };
    std::function<bool(const std::string& text)> onConfirm = [](const std::string&) { return false; };
    std::function<void()> onAbout = [] {};
    std::function<bool(const std::string& text)> onAsk = [](const std::string&) { return false; };

    std::vector<TOpenDialogState> opened;  // as the dialog was given
    std::vector<std::string> confirmed;
    std::vector<std::pair<std::string, std::string>> asked;  // title, text
    std::vector<std::pair<std::string, std::string>> abouts;
    struct TError {
        std::string title;
        std::string text;
        bool busyWhenShown;
        std::string captionWhenShown;
        std::string details;  // shown below the text, to scroll through (ShowWithDetails)
    };
    std::vector<TError> errors;
    std::vector<TError> warnings;
    std::vector<std::pair<std::string, std::string>> folders;  // title, preselected
    std::function<bool()> busyProbe = [] { return false; };
    std::function<std::string()> captionProbe = [] { return std::string(); };
};

class TScriptedDialogs : public TDialogs {
public:
    explicit TScriptedDialogs(TDialogScript& script) : script_(script) {}

    bool ExecuteOpenDialog(QWidget*, TOpenDialogState& state) override {
        script_.opened.push_back(state);
        return script_.onOpen(state);
    }
    bool BrowseForFolder(QWidget*, const std::string& title, const std::string& preselected,
                         std::string& chosen) override {
        script_.folders.emplace_back(title, preselected);
        return script_.onFolder(title, preselected, chosen);
    }
    bool Confirm(QWidget*, const std::string& text) override {
        script_.confirmed.push_back(text);
        return script_.onConfirm(text);
    }
    bool Ask(QWidget*, const std::string& title, const std::string& text) override {
        script_.asked.emplace_back(title, text);
        return script_.onAsk(text);
    }
    void ShowAbout(QWidget*, const std::string& title, const std::string& text) override {
        script_.abouts.emplace_back(title, text);
        script_.onAbout();
    }
    void ShowError(QWidget*, const std::string& title, const std::string& text) override {
        script_.errors.push_back({title, text, script_.busyProbe(), script_.captionProbe()});
    }
    void ShowWarning(QWidget*, const std::string& title, const std::string& text) override {
        script_.warnings.push_back({title, text, script_.busyProbe(), script_.captionProbe()});
    }
    void ShowWithDetails(QWidget*, bool error, const std::string& title, const std::string& summary,
                         const std::string& details) override {
        (error ? script_.errors : script_.warnings)
            .push_back({title, summary, script_.busyProbe(), script_.captionProbe(), details});
    }

private:
    TDialogScript& script_;
};

// A settings file that turns the fade off, so that closing in a test takes no time.
inline const std::string kNoFadeSettings = "[Misc]\nFadeEffectOnExit=0\n";

// The clock the window paces its status line by: each reading is clockStep after the one
// before, so that each progress report of a test shows (the window shows at most one in
// 100 ms) while a refusal (shown a second) covers the next ones.
inline constexpr std::chrono::milliseconds kDefaultClockStep{150};

class FormTest : public ::testing::Test {
protected:
    TempDir temp;
    TDialogScript script;
    std::vector<std::string> captions;
    std::vector<int> fadeOpacities;
    std::unique_ptr<TForm1> form;
    std::chrono::steady_clock::time_point now{};
    std::chrono::milliseconds clockStep = kDefaultClockStep;
    bool realClock = false;  // the machine's clock, for tests of what takes time
    // The files the window opened in the desktop's program: recorded, never opened.
    std::vector<std::string> openedFiles;
    bool programFound = true;  // what the desktop answers

    std::string SettingsPath() const { return temp / "vpak-gui.ini"; }

    // settingsText empty: no settings file at all.
    void CreateForm(const std::string& settingsText = kNoFadeSettings, TEngineCalls engine = EngineOperations()) {
        if (!settingsText.empty()) WriteFile(SettingsPath(), settingsText);
        TFormServices services;
        services.Dialogs = std::make_unique<TScriptedDialogs>(script);
        services.SettingsFile = SettingsPath();
        services.Engine = std::move(engine);
        services.OpenInProgram = [this](const QUrl& url) {
            openedFiles.push_back(StdStr(url.toLocalFile()));
            return programFound;
        };
        services.Wait = [this](int) { fadeOpacities.push_back(qRound(form->windowHandle()->opacity() * 255)); };
        if (!realClock) services.Now = [this] { return now += clockStep; };
        form = std::make_unique<TForm1>(std::move(services));
        script.busyProbe = [this] { return form->BusyFlag; };
        script.captionProbe = [this] { return Caption(); };
        QObject::connect(form.get(), &QWidget::windowTitleChanged,
                         [this](const QString& title) { captions.push_back(StdStr(title)); });
        form->show();
        QApplication::processEvents();
    }

    template <class TControl>
    TControl* Find(const char* name) const {
        auto* control = form->findChild<TControl*>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }

    QPushButton* Button(const char* name) const { return Find<QPushButton>(name); }
    QLineEdit* Edit(const char* name) const { return Find<QLineEdit>(name); }
    QCheckBox* Box(const char* name) const { return Find<QCheckBox>(name); }
    QProgressBar* Bar() const { return Find<QProgressBar>("ProgressBar1"); }
    TContentsTree* Tree() const { return form->findChild<TContentsTree*>("ContentsTree"); }
    std::string Caption() const { return StdStr(form->windowTitle()); }

    void SetText(const char* editName, const std::string& text) { Edit(editName)->setText(QStr(text)); }

    // Every caption shown since the last call.
    std::vector<std::string> TakeCaptions() {
        std::vector<std::string> taken;
        taken.swap(captions);
        return taken;
    }
};

// The text of every node, depth first, indented two blanks per level.
inline std::vector<std::string> TreeOutline(const QTreeWidget* tree) {
    std::vector<std::string> lines;
    std::function<void(const QTreeWidgetItem*, int)> walk = [&](const QTreeWidgetItem* item, int depth) {
        lines.push_back(std::string(static_cast<size_t>(depth) * 2, ' ') + StdStr(item->text(0)));
        for (int i = 0; i < item->childCount(); ++i) walk(item->child(i), depth + 1);
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i) walk(tree->topLevelItem(i), 0);
    return lines;
}

