// The shipped language files against the program as it is: every window and
// every text key the sources look up must be in both files, Czech must give
// back the built-in texts, and switching there and back must leave no trace.
#include "app/uf_IPWiz.h"
#include "app/uf_InputIP.h"
#include "app/uf_VYN.h"
#include "app/ufrm_LMenuH.h"
#include "app/ufrm_TlacMenu.h"
#include "app/ufrm_Tlacitko.h"
#include "lang/ControlProperties.h"
#include "lang/uLanguage.h"
#include "lang/uLanguageExport.h"
#include "lang/uLanguageForms.h"
#include "link/uf_DataSender.h"
#include "platform/Exception.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>

namespace {

const QString SourceDir = QStringLiteral(VYN_SOURCE_DIR);
const QStringList LanguageFiles = {QStringLiteral("cesky.lng"), QStringLiteral("english.lng")};

// Texts the program sets while it runs; a file that set them would undo the
// running state (the chosen adapter, the measure button).
const std::set<std::pair<QString, QString>> RunTimeTexts = {
    {QStringLiteral("lblCurrentAdapter"), QStringLiteral("caption")},
    {QStringLiteral("cmdMerit"), QStringLiteral("caption")},
};

QString ShippedFile(const QString& name)
{
    return SourceDir + QStringLiteral("/resources/") + name;
}

// ---- text keys in the sources

QString Unquote(const QString& literals)
{
    static const QRegularExpression part(QStringLiteral(R"re("((?:[^"\\]|\\.)*)")re"));
    QString text;
    for (auto it = part.globalMatch(literals); it.hasNext();) {
        QString piece = it.next().captured(1);
        piece.replace(QStringLiteral("\\r"), QStringLiteral("\r")).replace(QStringLiteral("\\n"), QStringLiteral("\n"));
        piece.replace(QStringLiteral("\\\""), QStringLiteral("\"")).replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
        text += piece;
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
        QDirIterator it(SourceDir + u'/' + QLatin1String(folder), {QStringLiteral("*.cpp"), QStringLiteral("*.h")},
                        QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (file.open(QIODevice::ReadOnly))
                sources[file.fileName()] = QString::fromUtf8(file.readAll());
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
                scan.Unreadable << name.mid(SourceDir.size()) + u':' + text.mid(m.capturedStart(), 60);
        }
    }
    return scan;
}

// ---- windows and files

// One of each window the language files translate.
struct TWindows
{
    explicit TWindows(const QString& ini)
        : Main(std::make_unique<TfVYN>(nullptr, ini)), InputIP(std::make_unique<TfInputIP>()),
          Sender(std::make_unique<TfDataSender>(nullptr, 0, nullptr)),
          SetIPWiz(std::make_unique<TfSetIPWiz>(nullptr, nullptr))
    {
    }
    std::vector<QWidget*> All() const { return {Main.get(), InputIP.get(), Sender.get(), SetIPWiz.get()}; }

    std::unique_ptr<TfVYN> Main;
    std::unique_ptr<TfInputIP> InputIP;
    std::unique_ptr<TfDataSender> Sender;
    std::unique_ptr<TfSetIPWiz> SetIPWiz;
};

QByteArray Template(QWidget* window)
{
    TXmlDocument doc(QStringLiteral("root"));
    ExportControl(window, &doc.DocumentElement());
    return doc.SaveToBytes(QStringLiteral("UTF-8"));
}

// path/attribute -> value of every text of an element tree; items as
// path/items/k.
void Flatten(const TXmlElement& node, const QString& path, std::map<QString, QString>& out)
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

std::map<QString, QString> FormTexts(const TXmlDocument& file)
{
    std::map<QString, QString> texts;
    for (const TXmlElement& forms : file.DocumentElement().Children())
        if (forms.Name() == u"forms")
            for (const TXmlElement& window : forms.Children())
                Flatten(window, window.Name(), texts);
    return texts;
}

std::map<QString, QString> ConstTexts(const TXmlDocument& file)
{
    std::map<QString, QString> texts;
    if (const TXmlElement* consts = file.DocumentElement().FirstChild(QStringLiteral("const")))
        for (const TXmlElement& key : consts->Children())
            texts[key.Name()] = key.Attribute(QStringLiteral("text"));
    return texts;
}

QStringList Placeholders(const QString& text)
{
    static const QRegularExpression format(QStringLiteral("%[sd1-9]"));
    QStringList found;
    for (auto it = format.globalMatch(text); it.hasNext();)
        found << it.next().captured();
    return found;
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
    }
    void TearDown() override
    {
        QDir::setCurrent(oldCwd);
        SetLanguageIniName(QString());
        Language = TLanguage();
        LocalAdapterIP = 0;
    }
    QString Ini() const { return dir.filePath(QStringLiteral("vyn.ini")); }

    QTemporaryDir dir;
    QString oldCwd;
};

} // namespace

TEST_F(LanguageFilesTest, BothFilesAreWindows1250AndSetTheSameTexts)
{
    std::vector<std::map<QString, QString>> forms, consts;
    for (const QString& name : LanguageFiles) {
        QFile file(ShippedFile(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        const QByteArray bytes = file.readAll();
        EXPECT_TRUE(bytes.startsWith("<?xml version=\"1.0\" encoding=\"windows-1250\"?>")) << name.toStdString();
        QStringDecoder decode("windows-1250");
        const QString text = decode(bytes);
        EXPECT_FALSE(decode.hasError()) << name.toStdString();
        const TXmlDocument doc = TXmlDocument::Parse(bytes, name);
        forms.push_back(FormTexts(doc));
        consts.push_back(ConstTexts(doc));
    }
    // Czech sets everything English sets, so switching back leaves nothing
    // English behind; and English translates everything Czech names.
    for (const auto& [path, text] : forms[1])
        EXPECT_TRUE(forms[0].count(path)) << "cesky.lng lacks " << path.toStdString();
    for (const auto& [path, text] : forms[0])
        EXPECT_TRUE(forms[1].count(path)) << "english.lng lacks " << path.toStdString();
    for (const auto& [key, text] : consts[1])
        EXPECT_TRUE(consts[0].count(key)) << "cesky.lng lacks key " << key.toStdString();
    for (const auto& [key, text] : consts[0])
        EXPECT_TRUE(consts[1].count(key)) << "english.lng lacks key " << key.toStdString();
}

TEST_F(LanguageFilesTest, EnglishThenCzechGivesBackEveryWindowAsBuilt)
{
    TWindows windows(Ini());
    std::vector<QByteArray> fresh;
    for (QWidget* w : windows.All())
        fresh.push_back(Template(w));

    ASSERT_NO_THROW(Language.LoadFromFile(ShippedFile(QStringLiteral("english.lng"))));
    for (size_t i = 0; i < fresh.size(); ++i)
        EXPECT_NE(Template(windows.All()[i]), fresh[i]) << "not translated: " << windows.All()[i]->objectName().toStdString();

    ASSERT_NO_THROW(Language.LoadFromFile(ShippedFile(QStringLiteral("cesky.lng"))));
    for (size_t i = 0; i < fresh.size(); ++i)
        EXPECT_EQ(Template(windows.All()[i]).toStdString(), fresh[i].toStdString());

    // A frame's caption reaches the screen: the panel that draws it shows
    // the file's text.
    ASSERT_NO_THROW(Language.LoadFromFile(ShippedFile(QStringLiteral("english.lng"))));
    EXPECT_EQ(windows.Main->menuIP->Tlac->Caption(), "Search by &IP");
    EXPECT_EQ(windows.Main->cmdLoadVals->Tlac->Caption(), "Load from &device");
    EXPECT_EQ(windows.Main->lmCommon->Tlac->Caption(), "  General");
}

TEST_F(LanguageFilesTest, EveryControlTextOfEveryWindowIsInBothFilesCzechAsBuilt)
{
    TWindows windows(Ini());
    std::map<QString, QString> built;
    for (QWidget* w : windows.All()) {
        TXmlDocument doc(QStringLiteral("root"));
        ExportControl(w, &doc.DocumentElement());
        for (const TXmlElement& window : doc.DocumentElement().Children())
            Flatten(window, window.Name(), built);
    }
    ASSERT_GT(built.size(), 100u);
    const std::map<QString, QString> czech = FormTexts(TXmlDocument::LoadFromFile(ShippedFile(LanguageFiles[0])));
    const std::map<QString, QString> english = FormTexts(TXmlDocument::LoadFromFile(ShippedFile(LanguageFiles[1])));
    for (const auto& [path, text] : built) {
        const QString control = path.section(u'@', 0, 0).section(u'/', -1);
        if (RunTimeTexts.count({control, path.section(u'@', 1)})) {
            EXPECT_FALSE(czech.count(path)) << "set at run time: " << path.toStdString();
            continue;
        }
        // Every gap at once, not just the first.
        EXPECT_TRUE(english.count(path)) << "english.lng lacks " << path.toStdString();
        EXPECT_TRUE(czech.count(path)) << "cesky.lng lacks " << path.toStdString();
        if (czech.count(path)) {
            EXPECT_EQ(czech.at(path), text) << path.toStdString();
        }
    }
    // Nothing in the files that no window has.
    for (const auto& [path, text] : czech)
        EXPECT_TRUE(built.count(path)) << "no such control text: " << path.toStdString();
    // One control, one caption: the panel inside a navigation frame has none.
    for (const auto& [path, text] : built)
        EXPECT_FALSE(path.contains(QLatin1String("/Tlac@"))) << path.toStdString();
}

TEST_F(LanguageFilesTest, EveryTextKeyOfTheSourcesIsInBothFilesCzechAsItsDefault)
{
    const TKeyScan scan = ScanSources();
    EXPECT_TRUE(scan.Unreadable.isEmpty()) << "look-ups the scan cannot read: "
                                           << scan.Unreadable.join(QStringLiteral("\n")).toStdString();
    ASSERT_GT(scan.Defaults.size(), 50u);
    const std::map<QString, QString> czech = ConstTexts(TXmlDocument::LoadFromFile(ShippedFile(LanguageFiles[0])));
    const std::map<QString, QString> english = ConstTexts(TXmlDocument::LoadFromFile(ShippedFile(LanguageFiles[1])));
    for (const auto& [key, defaults] : scan.Defaults) {
        // Every gap at once, not just the first.
        EXPECT_TRUE(czech.count(key)) << "cesky.lng lacks key " << key.toStdString();
        EXPECT_TRUE(english.count(key)) << "english.lng lacks key " << key.toStdString();
        // Some keys stand for slightly different texts in different places
        // (a full stop more or less); the file gives one of them.
        if (czech.count(key)) {
            EXPECT_TRUE(defaults.count(czech.at(key))) << key.toStdString() << ": " << czech.at(key).toStdString();
        }
        if (english.count(key)) {
            EXPECT_EQ(Placeholders(english.at(key)), Placeholders(*defaults.begin())) << key.toStdString();
        }
    }
    for (const auto& [key, text] : czech)
        EXPECT_TRUE(scan.Defaults.count(key)) << "no code looks up " << key.toStdString();
    // A key shared by two texts that say different things would show one of
    // them in the other's place once a file is loaded.
    static const QRegularExpression endMark(QStringLiteral("[.!]+$"));
    for (const auto& [key, defaults] : scan.Defaults)
        for (QString text : defaults)
            EXPECT_EQ(text.remove(endMark).toStdString(), QString(*defaults.begin()).remove(endMark).toStdString())
                << key.toStdString();
}

TEST_F(LanguageFilesTest, QtTextsFollowTheLanguage)
{
    TfVYN w(nullptr, Ini());
    const auto yes = [] { return QCoreApplication::translate("QPlatformTheme", "&Yes"); };
    EXPECT_EQ(yes(), QString::fromUtf8("&Ano"));
    ASSERT_NO_THROW(Language.LoadFromFile(ShippedFile(QStringLiteral("english.lng"))));
    w.LanguageLoaded();
    EXPECT_EQ(yes(), "&Yes");
    ASSERT_NO_THROW(Language.LoadFromFile(ShippedFile(QStringLiteral("cesky.lng"))));
    w.LanguageLoaded();
    EXPECT_EQ(yes(), QString::fromUtf8("&Ano"));
}
