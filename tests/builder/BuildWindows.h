#pragma once

// The windows a build runs through, made afresh for each test: the main window with a fake
// tray icon, the options dialog, the index editor, prompts answered in order, a desktop that
// records what it opens, and an empty output folder.
#include "FakeDesktop.h"
#include "FakePrompts.h"
#include "FakeTrayIcon.h"
#include "Main.h"
#include "Paths.h"
#include "TestSupport.h"
#include "builder/build/ConverterCommand.h"
#include "builder/dialogs/CatalogueBuilder.h"
#include "builder/dialogs/Index.h"
#include "builder/dialogs/Options.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <memory>

namespace vellora::test {

inline const QString kPatience =
    "Avertissement: La phase de création peut prendre quelques minutes.(comptez 10-20 "
    "secondes/pages)\nVeuillez patienter.";

inline QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

inline QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class BuildWindows
{
protected:
    // From initTestCase.
    void installSeams()
    {
        VELLORA_REQUIRE(QFileInfo(ConverterProgram(ConverterFolders::user())).isExecutable(),
                        "the converter in the tool folder (TOOLS fixture)");
        setPrompts(&m_prompts);
        setDesktop(&m_desktop);
    }

    // From init: fresh windows, no working PDF, no build log.
    void openWindows()
    {
        m_prompts.clear();
        m_prompts.onMessage = nullptr;
        m_desktop.opened.clear();
        QFile::remove(paths::WorkPdf());
        QFile::remove(paths::BuildLogFile());
        m_tray = std::make_unique<FakeTrayIcon>();
        m_main = std::make_unique<TF_Main>(*m_tray);
        m_form = std::make_unique<TForm1>(*m_main);
        m_main->setOptionsDialog(m_form.get());
        m_index = std::make_unique<TindexForm>();
        setIndexForm(m_index.get());
        m_main->show();
        m_dir = std::make_unique<QTemporaryDir>();
        m_out = m_dir->filePath("sortie");
        QVERIFY(QDir().mkdir(m_out));
    }

    // From cleanup.
    void closeWindows()
    {
        m_index.reset();
        m_form.reset();
        m_main.reset();
        m_tray.reset();
        m_dir.reset();
    }

    // Clicks "Créér prospectus" and waits for the build's end; every question was answered.
    void build()
    {
        QSignalSpy ended(&builder(), &CatalogueBuilder::buildEnded);
        m_form->PngSpeedButton1->click();
        if (ended.isEmpty())
            QVERIFY(ended.wait(60000));
        QVERIFY(!builder().isBusy());
        QVERIFY(m_form->PngSpeedButton1->isEnabled());
        QVERIFY(!builder().cancelButton()->isVisible());
        QCOMPARE(m_prompts.unansweredDialogs(), 0);
    }

    CatalogueBuilder& builder() { return CatalogueBuilder::of(*m_form); }

    FakePrompts m_prompts;
    FakeDesktop m_desktop;
    std::unique_ptr<FakeTrayIcon> m_tray;
    std::unique_ptr<TF_Main> m_main;
    std::unique_ptr<TForm1> m_form;
    std::unique_ptr<TindexForm> m_index;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_out;
};

} // namespace vellora::test
