#include "app/startup.h"
#include "app/translations.h"
#include "report/eventlog.h"
#include "report/nodelistfile.h"
#include "report/vendortable.h"
#include "support/eventwait.h"
#include "support/find.h"
#include "support/memorydriver.h"
#include "ui/alerttray.h"
#include "ui/mainwindow.h"
#include "ui/messagebox.h"
#include "ui/nodeviewerwindow.h"
#include "ui/promiscuousalertwindow.h"
#include "ui/setupdialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

// The settings folder and the session bus are the test program's, registered
// in startup_test.cpp.

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

const QString TranslationFile =
    QStringLiteral(KEELWATCH_SOURCE_DIR "/translations/keelwatch_de.ts");

struct TranslatedText
{
    QString context;
    QString source;
    QString translation;
    QString type;
};

QList<TranslatedText> ReadTranslations(const QString &path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    QXmlStreamReader xml(&file);
    QList<TranslatedText> texts;
    QString context;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"name")
            context = xml.readElementText();
        else if (xml.name() == u"message")
            texts.append({context, {}, {}, {}});
        else if (xml.name() == u"source" && !texts.isEmpty())
            texts.last().source = xml.readElementText();
        else if (xml.name() == u"translation" && !texts.isEmpty()) {
            texts.last().type = xml.attributes().value(u"type"_s).toString();
            texts.last().translation = xml.readElementText();
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return texts;
}

// "%1" and "%L1" alike: German may group digits where English does not.
QList<QString> Placeholders(const QString &text)
{
    static const QRegularExpression placeholder(u"%L?(\\d+)"_s);
    QList<QString> numbers;
    for (const QRegularExpressionMatch &match : placeholder.globalMatch(text))
        numbers.append(match.captured(1));
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

// An '&' before a letter marks the key; "&&" and "& " are text.
const QRegularExpression KeyLetterMark(u"(?<!&)&[^& ]"_s);

int Mnemonics(const QString &text)
{
    return int(text.count(KeyLetterMark));
}

// Every text has its German, with the same placeholders and, where the
// English has a key letter, one of its own.
TEST(GermanTranslation, IsCompleteAndKeepsPlaceholdersAndKeys)
{
    const QList<TranslatedText> texts = ReadTranslations(TranslationFile);
    ASSERT_GT(texts.size(), 150);
    for (const TranslatedText &text : texts) {
        const std::string where = QString(text.context + u": "_s + text.source).toStdString();
        EXPECT_TRUE(text.type.isEmpty()) << text.type.toStdString() << " " << where;
        EXPECT_FALSE(text.translation.isEmpty()) << where;
        EXPECT_EQ(Placeholders(text.translation), Placeholders(text.source)) << where;
        EXPECT_EQ(Mnemonics(text.translation), Mnemonics(text.source)) << where;
    }
}

struct LanguageCase
{
    const char *name;
    const char *locale;
    bool translated;
    const char16_t *fileMenu;
    const char16_t *setupTitle;
    const char16_t *yesButton; // Qt's own text
};

void PrintTo(const LanguageCase &language, std::ostream *out)
{
    *out << language.locale;
}

class Language : public ::testing::TestWithParam<LanguageCase>
{
  protected:
    void SetUp() override { OpenSettingsStore()->clear(); }
};

// The windows speak the locale's language when it is shipped, English
// otherwise; Qt's buttons follow the program's language.
TEST_P(Language, OfTheLocaleOrEnglish)
{
    const LanguageCase &language = GetParam();
    const Translations translations{QLocale(QString::fromLatin1(language.locale))};
    EXPECT_EQ(translations.ProgramTranslated(), language.translated);
    Startup startup({}, QString(), std::make_shared<MemoryDriver>());
    startup.Show();
    EXPECT_EQ(Find<QMenu>(startup.Main(), "File1")->title(), QString::fromUtf16(language.fileMenu));
    EXPECT_EQ(startup.Setup().windowTitle(), QString::fromUtf16(language.setupTitle));
    QTest::mouseClick(Find<QPushButton>(startup.Main(), "Button3"), Qt::LeftButton,
                      Qt::ShiftModifier);
    auto *question = Find<QMessageBox>(startup.Main(), "ClearAllQuestion");
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(question->button(QMessageBox::Yes)->text(), QString::fromUtf16(language.yesButton));
    question->button(QMessageBox::No)->click();
}

// Each window's and menu's key letters are its own, in either language:
// a translation must not give two controls one Alt key.
TEST_P(Language, KeyLettersAreUniqueInEachWindowAndMenu)
{
    const Translations translations{QLocale(QString::fromLatin1(GetParam().locale))};
    Startup startup({}, QString(), std::make_shared<MemoryDriver>());
    const auto keyLetter = [](const QString &text) {
        const qsizetype at = text.indexOf(KeyLetterMark);
        return at < 0 ? QChar() : text.at(at + 1).toLower();
    };
    const auto expectUnique = [&](const QString &where, const QStringList &texts) {
        QSet<QChar> seen;
        for (const QString &text : texts) {
            const QChar letter = keyLetter(text);
            if (letter.isNull())
                continue;
            EXPECT_FALSE(seen.contains(letter))
                << where.toStdString() << ": " << text.toStdString() << " repeats a key letter";
            seen.insert(letter);
        }
    };
    const auto actionTexts = [](const QWidget *menu) {
        QStringList texts;
        for (const QAction *action : menu->actions())
            texts.append(action->text());
        return texts;
    };
    MainWindow &main = startup.Main();
    // The menu bar's titles and the window's buttons answer the same Alt keys.
    QStringList mainKeys = actionTexts(main.menuBar());
    // Its dialogs are its children but windows of their own.
    for (const QAbstractButton *button : main.findChildren<QAbstractButton *>()) {
        if (button->window() == &main)
            mainKeys.append(button->text());
    }
    expectUnique(u"main window"_s, mainKeys);
    for (const QMenu *menu : main.findChildren<QMenu *>()) {
        if (!menu->objectName().isEmpty())
            expectUnique(menu->objectName(), actionTexts(menu));
    }
    expectUnique(u"tray menu"_s, actionTexts(startup.Tray().Menu()));
    for (QWidget *window : std::initializer_list<QWidget *>{
             &startup.Setup(), &startup.NodeViewerWin(), &startup.PromiscuousAlert()}) {
        QStringList texts;
        for (const QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
            if (button->window() == window)
                texts.append(button->text());
        }
        expectUnique(window->objectName(), texts);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Locales, Language,
    ::testing::Values(LanguageCase{"C", "C", false, u"&File", u"Setup", u"&Yes"},
                      LanguageCase{"English", "en_US", false, u"&File", u"Setup", u"&Yes"},
                      LanguageCase{"French", "fr_FR", false, u"&File", u"Setup", u"&Yes"},
                      LanguageCase{"German", "de_DE", true, u"&Datei", u"Einstellungen", u"&Ja"},
                      LanguageCase{"Austrian", "de_AT", true, u"&Datei", u"Einstellungen", u"&Ja"}),
    [](const auto &info) { return std::string(info.param.name); });

class GermanWindows : public ::testing::Test
{
  protected:
    void SetUp() override { OpenSettingsStore()->clear(); }
    static QStringList MessageBoxTexts()
    {
        QStringList texts;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible()) {
                texts.append(box->text());
                box->close();
            }
        }
        return texts;
    }

    const Translations translations{QLocale(QLocale::German, QLocale::Germany)};
    QTemporaryDir dir;
};

// What the user reads is German, numbers in German form; the scan's own
// checks speak German too.
TEST_F(GermanWindows, ShowGermanTextsAndNumbers)
{
    Startup startup({}, QString(), std::make_shared<MemoryDriver>());
    startup.Show();
    EXPECT_EQ(Find<QPushButton>(startup.Main(), "Button1")->text(), u"S&tart"_s);
    EXPECT_EQ(Find<QPushButton>(startup.Main(), "Button3")->text(), u"&Löschen"_s);
    EXPECT_EQ(startup.Main().PanelText(0), u"BEREIT"_s);
    EXPECT_EQ(
        Find<QTableView>(startup.Main(), "SG")->model()->headerData(13, Qt::Horizontal).toString(),
        u"Herstellercode"_s);
    SetupDialog &setup = startup.Setup();
    bool interfaceLabel = false;
    for (const QLabel *label : setup.findChildren<QLabel *>())
        interfaceLabel = interfaceLabel || label->text() == u"Netzwerkschnittstelle";
    EXPECT_TRUE(interfaceLabel);
    // 254 addresses x 5 tests x 3 frames at 2000 frames a second.
    QTest::keyClicks(Find<QLineEdit>(startup.Main(), "Edit1"), u"10.77.0.1"_s);
    QTest::keyClicks(Find<QLineEdit>(startup.Main(), "Edit2"), u"10.77.0.254"_s);
    Find<QLineEdit>(setup, "SendRate")->setText(u"2000"_s);
    EXPECT_EQ(Find<QLabel>(setup, "SweepEstimate")->text(), u"Ein Durchlauf des Bereichs: 1,9 s"_s);

    // An own MAC and IP, but no interface: Start refuses with the German text.
    Find<QLineEdit>(setup, "Edit2")->setText(u"00 11 22 33 44 50"_s);
    Find<QLineEdit>(setup, "Edit1")->setText(u"10.77.0.1"_s);
    Find<QPushButton>(startup.Main(), "Button1")->click();
    EXPECT_EQ(MessageBoxTexts(),
              QStringList{u"Eine Netzwerkschnittstelle muss ausgewählt sein."_s});
}

// Files, log lines and alert lines are read by programs and other people:
// they stay English, byte for byte, whatever the windows speak.
TEST_F(GermanWindows, LeaveLogLinesAndFilesEnglish)
{
    const QString logPath = dir.filePath(u"keelwatch.log"_s);
    Startup startup({}, QString(), std::make_shared<MemoryDriver>());
    Find<QLineEdit>(startup.Setup(), "logpath")->setText(logPath);
    startup.Show();
    startup.Events().OpenEventLog();
    Node node;
    node.ip = *IpAddress::FromText(u"10.77.0.5");
    node.mac = *MacAddress::FromText(u"02:00:00:00:00:05");
    Q_EMIT startup.EventSource().promiscuousStarted(node, 5);
    Q_EMIT startup.EventSource().cycleEnded(4);
    startup.Events().FlushEventLog();

    QFile log(logPath);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString written = QString::fromUtf8(log.readAll());
    EXPECT_TRUE(written.contains(u"10.77.0.5"_s) && written.contains(u"PROMISC"_s) &&
                written.contains(u"START"_s))
        << written.toStdString();
    EXPECT_TRUE(written.contains(u"#Cyclic_Count\t4\t"_s)) << written.toStdString();
    const auto pane = [&] { return Find<QPlainTextEdit>(startup.Main(), "Memo1")->toPlainText(); };
    EXPECT_TRUE(WaitUntil([&] { return pane().contains(u"#Cyclic_Count\t4\t"_s); }))
        << pane().toStdString();
    const QString alert = Find<QPlainTextEdit>(startup.PromiscuousAlert(), "Memo1")->toPlainText();
    EXPECT_TRUE(alert.endsWith(u"Promiscuous START 10.77.0.5"_s)) << alert.toStdString();

    startup.Nodes().Add(node.ip, node.mac, {});
    const QString listPath = dir.filePath(u"nodes.csv"_s);
    ASSERT_EQ(WriteNodeList(listPath, EncodeNodeList(startup.Nodes())), QString());
    QFile list(listPath);
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    const QByteArray content = list.readAll();
    EXPECT_TRUE(content.startsWith("\"IP Address\",\"MAC Address\",Br,")) << content.toStdString();
}

// Texts of the lower layers are German where a window shows them: the node
// viewer's title and column titles, its failures, a comment file that cannot
// be written, a node list that cannot be read. The log it reads, and what the same layers hand to
// the sensor, stay English.
TEST_F(GermanWindows, ShowLowerLayerTextsInGermanWhileTheirSourcesStayEnglish)
{
    const QString logPath = dir.filePath(u"keelwatch.log"_s);
    QFile log(logPath);
    ASSERT_TRUE(log.open(QIODevice::WriteOnly));
    log.write("\r\n### START Keelwatch\t0001\t05/Jan/2004 14:00:00\t10.77.0.1-10.77.0.9 ###\r\n"
              "05/Jan/2004 14:00:01\t10.77.0.5\t[02:00:00:00:00:05]\tBr\tON\tethernet\r\n");
    log.close();
    Startup startup({}, QString(), std::make_shared<MemoryDriver>());
    startup.Show();

    NodeViewerWindow &viewer = startup.NodeViewerWin();
    viewer.OpenFor(u"10.77.0.5"_s, logPath);
    Find<QPushButton>(viewer, "Button1")->click();
    auto *grid = Find<QTableView>(viewer, "SG2");
    ASSERT_TRUE(WaitUntil([&] { return grid->model()->rowCount() > 1; }));
    EXPECT_EQ(viewer.windowTitle(), u"Knotenbetrachter : 10.77.0.5"_s);
    const auto title = [&](int column) {
        return grid->model()->headerData(column, Qt::Horizontal).toString();
    };
    EXPECT_EQ(title(1), u"ZEIT"_s);
    EXPECT_EQ(title(grid->model()->columnCount() - 1), u"Kommentar"_s);
    // What the rows read from the log keeps the log's words and marks.
    EXPECT_EQ(grid->model()->index(0, 0).data().toString(), u"START"_s);
    EXPECT_EQ(grid->model()->index(1, 2).data().toString(), u"O"_s);
    viewer.hide();
    viewer.OpenFor(u"10.77.0.6"_s, dir.filePath(u"gone.log"_s));
    Find<QPushButton>(viewer, "Button1")->click();
    EXPECT_EQ(MessageBoxTexts(), QStringList{u"Keine Logdatei gefunden."_s});

    const QString error = startup.Comments().SaveComments(dir.filePath(u"no/such/folder"_s));
    EXPECT_TRUE(error.startsWith(u"comment.txt kann nicht geschrieben werden.\n"_s))
        << error.toStdString();
    NodeList nodes;
    EXPECT_TRUE(
        LoadNodeList(dir.filePath(u"gone.csv"_s), nodes).startsWith(u"Die Knotenlistendatei "_s));

    // The vendor note as the sensor receives it, and as a window shows it.
    QStringList missing;
    VendorTable vendors;
    vendors.LoadVendorTable(
        dir.path(), [](const QString &) {}, dir.path(),
        [&](const QString &text) { missing.append(text); });
    EXPECT_EQ(missing, QStringList{u"No oui.txt found."_s});
    EXPECT_EQ(WindowText(missing.value(0)), u"Keine oui.txt gefunden."_s);
}

} // namespace
