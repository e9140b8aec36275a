// The shipped language files hold every window's and every looked-up key's
// text; Czech gives back the built-in texts, and a switch back leaves no trace.
#include "app/uf_IPWiz.h"
#include "app/uf_InputIP.h"
#include "app/uf_VYN.h"
#include "app/ufrm_LMenuH.h"
#include "app/ufrm_TlacMenu.h"
#include "app/ufrm_Tlacitko.h"
#include "lang/uLanguage.h"
#include "lang/uLanguageExport.h"
#include "lang/uLanguageForms.h"
#include "link/uf_DataSender.h"
#include "platform/TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>

namespace {

using Texts = std::map<QString, QString>;

QString ShippedFile(const char* name)
{
    return QStringLiteral(VYN_SOURCE_DIR "/resources/") + QLatin1String(name);
}

QString Unquote(const QString& literals)
{
    static const QRegularExpression part(QStringLiteral(R"re("((?:[^"\\]|\\.)*)")re"));
    QString text;
    for (auto it = part.globalMatch(literals); it.hasNext();) {
        QString chunk = it.next().captured(1);
        chunk.replace(QStringLiteral("\\r"), QStringLiteral("\r")).replace(QStringLiteral("\\n"), QStringLiteral("\n"));
        chunk.replace(QStringLiteral("\\\""), QStringLiteral("\"")).replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
        text += chunk;
    }
    return text;
}

struct TKeyScan
{
    std::map<QString, std::set<QString>> Defaults; // key -> default texts
    QStringList Unreadable;                        // look-ups whose key is no literal
};

// Every look-up of the language object: direct calls with literal key and
// default, and calls of the small wrappers that pass their own two
// parameters on (found by their bodies, so a new wrapper is found too).
TKeyScan ScanSources()
{
    static const QString one = QStringLiteral(R"re((?:u8|u)?"(?:[^"\\]|\\.)*")re");
    const QString lit = QStringLiteral(R"re((?:QStringLiteral\(|QString::fromUtf(?:8|16)\(|QLatin1String\()?\s*((?:%1\s*)+)\)?)re")
                            .arg(one);
    const QRegularExpression wrapper(QStringLiteral(R"re((\w+)\s*\(([^()]*)\)\s*(?:const\s*)?\{([^{}]*?)Language\.GetText\(\s*(?:QString::fromUtf(?:8|16)\()?\s*(\w+))re"));
    const QRegularExpression direct(QStringLiteral(R"re(Language\.GetText\(\s*)re"));
    const QRegularExpression literalStart(QStringLiteral(R"re(^(?:QStringLiteral\(|QString::fromUtf(?:8|16)\(|QLatin1String\()?\s*(?:u8|u)?")re"));

    std::map<QString, QString> sources;
    for (const char* folder : {"app", "link", "lang", "model", "storage", "platform"}) {
        QDirIterator it(QStringLiteral(VYN_SOURCE_DIR "/") + QLatin1String(folder),
                        {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            sources[path] = QString::fromUtf8(readFile(path));
        }
    }

    QStringList wrappers{QStringLiteral("GetText")};
    std::map<QString, std::vector<std::pair<qsizetype, qsizetype>>> wrapperBodies;
    for (const auto& [name, text] : sources)
        for (auto it = wrapper.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            if (QRegularExpression(QStringLiteral("\\b%1\\b").arg(m.captured(4))).match(m.captured(2)).hasMatch()) {
                wrappers << m.captured(1);
                wrapperBodies[name].push_back({m.capturedStart(), m.capturedEnd()});
            }
        }
    wrappers.removeDuplicates();

    TKeyScan scan;
    const QRegularExpression call(QStringLiteral(R"re(\b(?:%1)\s*\(\s*%2\s*,\s*%2)re").arg(wrappers.join(u'|'), lit));
    for (const auto& [name, text] : sources) {
        for (auto it = call.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            scan.Defaults[Unquote(m.captured(1))].insert(Unquote(m.captured(2)));
        }
        for (auto it = direct.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            if (literalStart.match(text.mid(m.capturedEnd(), 40)).hasMatch())
                continue;
            bool inWrapper = false;
            for (const auto& [from, to] : wrapperBodies[name])
                inWrapper = inWrapper || (m.capturedStart() >= from && m.capturedStart() < to);
            if (!inWrapper && !name.endsWith(QLatin1String("lang/uLanguage.cpp")))
                scan.Unreadable << name + u':' + text.mid(m.capturedStart(), 60);
        }
    }
    return scan;
}

// path@attribute -> value of every text of an element tree; items as
// path/items/k.
void Flatten(const TXmlElement& node, const QString& path, Texts& out)
{
    for (const TXmlAttribute& a : node.Attributes())
        out[path + u'@' + a.Name.toLower()] = a.Value;
    for (const TXmlElement& child : node.Children()) {
        if (child.Name() == u"items") {
            int k = 0;
            for (const TXmlElement& item : child.Children())
                out[path + QStringLiteral("/items/%1").arg(k++)] = item.Attribute(QStringLiteral("value"));
        } else {
            Flatten(child, path + u'/' + child.Name(), out);
        }
    }
}

// The windows' texts and the keys' texts of a shipped file, which must be a
// windows-1250 document.
std::pair<Texts, Texts> ShippedTexts(const char* name)
{
    const QByteArray bytes = readFile(ShippedFile(name));
    EXPECT_TRUE(bytes.startsWith("<?xml version=\"1.0\" encoding=\"windows-1250\"?>")) << name;
    QStringDecoder decode("windows-1250");
    (void)decode(bytes);
    EXPECT_FALSE(decode.hasError()) << name;
    std::pair<Texts, Texts> texts;
    const TXmlDocument doc = TXmlDocument::Parse(bytes, QLatin1String(name));
    for (const TXmlElement& forms : doc.DocumentElement().Children())
        if (forms.Name() == u"forms")
            for (const TXmlElement& window : forms.Children())
                Flatten(window, window.Name(), texts.first);
    if (const TXmlElement* consts = doc.DocumentElement().FirstChild(QStringLiteral("const")))
        for (const TXmlElement& key : consts->Children())
            texts.second[key.Name()] = key.Attribute(QStringLiteral("text"));
    return texts;
}

class LanguageFilesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        oldCwd = QDir::currentPath();
        QDir::setCurrent(dir.path());
        InstallWindowTranslation();
        main = new TfVYN(nullptr, dir.filePath(QStringLiteral("vyn.ini")));
        windows.emplace_back(main);
        windows.emplace_back(new TfInputIP());
        windows.emplace_back(new TfDataSender(nullptr, 0, nullptr));
        windows.emplace_back(new TfSetIPWiz(nullptr, nullptr));
    }
    void TearDown() override
    {
        windows.clear();
        QDir::setCurrent(oldCwd);
        SetLanguageIniName(QString());
        Language = TLanguage();
        LocalAdapterIP = 0;
    }
    Texts Exported() const
    {
        Texts texts;
        for (const auto& w : windows) {
            TXmlDocument doc(QStringLiteral("root"));
            ExportControl(w.get(), &doc.DocumentElement());
            Flatten(doc.DocumentElement().Children().front(), w->objectName(), texts);
        }
        return texts;
    }

    QTemporaryDir dir;
    QString oldCwd;
    TfVYN* main = nullptr;
    std::vector<std::unique_ptr<QWidget>> windows;
};

} // namespace

TEST_F(LanguageFilesTest, EnglishThenCzechGivesBackEveryWindowAsBuilt)
{
    const auto yes = [] { return QCoreApplication::translate("QPlatformTheme", "&Yes"); };
    EXPECT_EQ(yes(), QString::fromUtf8("&Ano"));
    const Texts built = Exported();
    ASSERT_NO_THROW(Language.LoadFromFile(ShippedFile("english.lng")));
    main->LanguageLoaded();
    EXPECT_EQ(yes(), "&Yes");
    const Texts english = Exported();
    const auto window = [](const QString& path) { return path.section(u'/', 0, 0).section(u'@', 0, 0); };
    std::set<QString> translated;
    for (const auto& [path, text] : english)
        if (built.at(path) != text)
            translated.insert(window(path));
    EXPECT_EQ(translated.size(), windows.size());
    // A frame's caption reaches the screen: the panel that draws it shows
    // the file's text.
    EXPECT_EQ(main->menuIP->Tlac->Caption(), "Search by &IP");
    EXPECT_EQ(main->cmdLoadVals->Tlac->Caption(), "Load from &device");
    EXPECT_EQ(main->lmCommon->Tlac->Caption(), "  General");
    // The template of the translated main window, moved under "forms", is
    // a language file that gives the texts back.
    ExportFormTemplate(main, QStringLiteral("form.xml"));
    QByteArray bytes = readFile(QStringLiteral("form.xml"));
    EXPECT_TRUE(bytes.startsWith("<?xml version=\"1.0\" encoding=\"windows-1250\"?>\n<root>"));
    writeFile(QStringLiteral("form.lng"), bytes.replace("<root>", "<lang><forms>").replace("</root>", "</forms></lang>"));
    ASSERT_NO_THROW(Language.LoadFromFile(ShippedFile("cesky.lng")));
    main->LanguageLoaded();
    EXPECT_EQ(yes(), QString::fromUtf8("&Ano"));
    EXPECT_EQ(Exported(), built);
    ASSERT_NO_THROW(Language.LoadFromFile(QStringLiteral("form.lng")));
    const Texts back = Exported();
    for (const auto& [path, text] : english) {
        if (window(path) == main->objectName()) {
            EXPECT_EQ(back.at(path), text) << path.toStdString();
        }
    }
}

TEST_F(LanguageFilesTest, EveryControlTextOfEveryWindowIsInBothFilesCzechAsBuilt)
{
    // Texts the program sets while it runs; a file that set them would undo
    // the running state (the chosen adapter, the measure button).
    const QStringList runTime = {QStringLiteral("/lblCurrentAdapter@caption"), QStringLiteral("/cmdMerit@caption")};
    const Texts built = Exported();
    ASSERT_GT(built.size(), 100u);
    const Texts czech = ShippedTexts("cesky.lng").first, english = ShippedTexts("english.lng").first;
    for (const auto& [path, text] : built) {
        // One control, one caption: the panel inside a navigation frame has none.
        EXPECT_FALSE(path.contains(QLatin1String("/Tlac@"))) << path.toStdString();
        if (std::any_of(runTime.begin(), runTime.end(), [&](const QString& end) { return path.endsWith(end); })) {
            EXPECT_FALSE(czech.count(path) || english.count(path)) << "set at run time: " << path.toStdString();
            continue;
        }
        EXPECT_TRUE(english.count(path)) << "english.lng lacks " << path.toStdString();
        EXPECT_EQ(czech.count(path) ? czech.at(path) : QStringLiteral("<missing>"), text) << path.toStdString();
    }
    for (const Texts* file : {&czech, &english})
        for (const auto& [path, text] : *file)
            EXPECT_TRUE(built.count(path)) << "no such control text: " << path.toStdString();
}

// The format marks of a text ("%s", "%1"): a translation must keep them.
static QStringList FormatMarks(const QString& text)
{
    static const QRegularExpression mark(QStringLiteral("%[sd1-9]"));
    QStringList marks;
    for (auto it = mark.globalMatch(text); it.hasNext();)
        marks << it.next().captured();
    return marks;
}

TEST_F(LanguageFilesTest, EveryTextKeyOfTheSourcesIsInBothFilesCzechAsItsDefault)
{
    const TKeyScan scan = ScanSources();
    EXPECT_TRUE(scan.Unreadable.isEmpty()) << "look-ups the scan cannot read: "
                                           << scan.Unreadable.join(QStringLiteral("\n")).toStdString();
    ASSERT_GT(scan.Defaults.size(), 50u);
    const Texts czech = ShippedTexts("cesky.lng").second, english = ShippedTexts("english.lng").second;
    for (const auto& [key, defaults] : scan.Defaults) {
        // Some keys stand for slightly different texts in different places
        // (a full stop more or less); the file gives one of them.
        EXPECT_TRUE(czech.count(key) && defaults.count(czech.at(key))) << "cesky.lng: " << key.toStdString();
        EXPECT_TRUE(english.count(key)) << "english.lng lacks key " << key.toStdString();
        if (english.count(key)) {
            EXPECT_EQ(FormatMarks(english.at(key)), FormatMarks(*defaults.begin())) << "english.lng: " << key.toStdString();
        }
    }
    for (const Texts* file : {&czech, &english})
        for (const auto& [key, text] : *file)
            EXPECT_TRUE(scan.Defaults.count(key)) << "no code looks up " << key.toStdString();
}
