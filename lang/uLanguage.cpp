#include "lang/uLanguage.h"

#include "platform/Exception.h"
#include "platform/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QObject>

#include <exception>

constinit TLanguage Language;

namespace {

QString g_iniNameOverride;

const QString LanguageSection = QStringLiteral("language");
const QString LangFileKey = QStringLiteral("langfile");

// The language settings were laid out for Windows paths. On Linux they read:
// the program folder is the executable's folder with a trailing '/'; a name
// "without a drive" is a relative name (one not beginning with '/'), which is
// taken from the program folder; a name beginning with '\' still means the
// program folder.
QString inProgramFolder(const QString& name)
{
    if (name.startsWith(u'\\'))
        return ProgramFolder() + name.mid(1);
    if (!name.startsWith(u'/'))
        return ProgramFolder() + name;
    return name;
}

} // namespace

QString ProgramFolder()
{
    return QCoreApplication::applicationDirPath() + u'/';
}

void TLanguage::LoadFromFile(const QString& FileName)
{
    QString name = FileName;
    if (name.startsWith(u'\\'))
        name = ProgramFolder() + name.mid(1);
    if (!QFileInfo(name).isFile())
        throw Exception(QStringLiteral("Soubor s překladem:\"%1\" nenalezen!").arg(name));

    auto doc = std::make_shared<const TXmlDocument>(TXmlDocument::LoadFromFile(name));
    Doc = doc;
    m_fileName = name;

    if (!m_translator) {
        if (QCoreApplication::instance() && QCoreApplication::instance()->inherits("QApplication"))
            qWarning("Language file loaded, but windows are not translated: InstallWindowTranslation() was not called");
        return;
    }
    for (const TXmlElement& child : doc->DocumentElement().Children()) {
        if (child.Name() == u"forms")
            m_translator->ApplyForms(child);
    }
}

QString TLanguage::GetText(const QString& Key, const QString& Default) const
{
    if (!Doc)
        return Default;
    const TXmlElement* texts = Doc->DocumentElement().FirstChild(QStringLiteral("const"));
    if (!texts)
        return Default;
    return GetAttr(texts->FirstChild(Key), QStringLiteral("text"), Default);
}

void TLanguage::TranslateForm(QObject* Form) const
{
    if (!Form || !Doc || !m_translator)
        return;
    const std::shared_ptr<const TXmlDocument> doc = Doc;
    const TXmlElement* forms = doc->DocumentElement().FirstChild(QStringLiteral("forms"));
    if (!forms)
        return;
    if (const TXmlElement* node = forms->FirstChild(Form->objectName()))
        m_translator->ApplyNode(Form, *node);
}

QString GetLanguageIniName()
{
    if (!g_iniNameOverride.isEmpty())
        return g_iniNameOverride;
    const QFileInfo program(QCoreApplication::applicationFilePath());
    return program.path() + u'/' + program.completeBaseName() + QStringLiteral(".ini");
}

void SetLanguageIniName(const QString& Name)
{
    g_iniNameOverride = Name;
}

QString LoadLanguageFromIni(const QString& IniName)
{
    QString LangFile;
    try {
        const QString ini = inProgramFolder(IniName.isEmpty() ? GetLanguageIniName() : IniName);
        LangFile = platform::IniFile(ini).ReadString(LanguageSection, LangFileKey, QString());
        if (!LangFile.isEmpty()) {
            LangFile = inProgramFolder(LangFile);
            Language.LoadFromFile(LangFile);
        }
    } catch (const std::exception&) {
        // Without a usable language file the built-in texts stay.
    }
    return LangFile;
}

bool SaveLanguageToIni(const QString& IniName, const QString& LangFile)
{
    try {
        const QString ini = inProgramFolder(IniName.isEmpty() ? GetLanguageIniName() : IniName);
        QString file = LangFile.isEmpty() ? Language.GetFileName() : LangFile;
        const QString folder = ProgramFolder();
        if (file.startsWith(folder, Qt::CaseSensitive))
            file = file.mid(folder.size());
        platform::IniFile(ini).WriteString(LanguageSection, LangFileKey, file);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
