#pragma once

#include "lang/uXmlUtils.h"

#include <QString>

#include <memory>

class QObject;

// Applies the "forms" part of a language file to live windows. The widget
// part of this library supplies the implementation (InstallWindowTranslation
// in uLanguageForms.h); without one a language object still loads files and
// answers text lookups, which is all that code without windows needs.
class TFormTranslator
{
public:
    virtual ~TFormTranslator() = default;

    // One "forms" element: each child element is applied to the first
    // top-level window of its name.
    virtual void ApplyForms(const TXmlElement& forms) = 0;
    // Applies a window's (or control's) element to it.
    virtual void ApplyNode(QObject* control, const TXmlElement& node) = 0;
};

// The language of the user interface: every text has its Czech default at the
// place that uses it; a loaded language file overrides texts by key and pushes
// window and control texts onto the open windows.
class TLanguage
{
public:
    // Loads a language file (a name beginning with '\' means the program
    // folder) and applies its "forms" to the open windows. Throws Exception
    // when the file is missing, larger than platform::MaxOperatorFileSize
    // (EPlatformError FileTooLarge) or not well-formed XML (the loaded document
    // then stays as it was) and passes on the failure of a property that
    // cannot be set (the new document is kept; what was applied stays).
    void LoadFromFile(const QString& FileName);

    // The file's text for Key, else Default. An element without "text" gives
    // Default; an empty "text" gives the empty string.
    QString GetText(const QString& Key, const QString& Default) const;

    // Applies the loaded file's element for Form (by its object name) to it:
    // for windows created after the file was loaded.
    void TranslateForm(QObject* Form) const;

    // The resolved name of the loaded file; empty before the first load.
    QString GetFileName() const { return m_fileName; }

    // Not owned; it must outlive its use by this object.
    void SetFormTranslator(TFormTranslator* translator) { m_translator = translator; }

private:
    // Shared so that a load started from inside a translation (a change
    // handler of a translated control) cannot free the tree being applied.
    std::shared_ptr<const TXmlDocument> Doc;
    QString m_fileName;
    TFormTranslator* m_translator = nullptr;
};

// The one language object of the program.
extern constinit TLanguage Language;

// The folder of the program file, ending in '/'.
QString ProgramFolder();

// The settings file of the language choice: the name set by
// SetLanguageIniName, else the program file name with ".ini" for its
// extension.
QString GetLanguageIniName();
void SetLanguageIniName(const QString& Name);

// Loads the language file named in the settings file (section "language",
// key "langfile"; a relative name lies in the program folder) into Language.
// An empty IniName means GetLanguageIniName(). Never fails: without a usable
// file the program keeps its built-in texts. Returns the language file name
// as far as it was read (empty when none is stored).
QString LoadLanguageFromIni(const QString& IniName = QString());

// Stores LangFile (empty: the file Language was loaded from) in the settings
// file, relative to the program folder when it lies there. An empty IniName
// means GetLanguageIniName(). Returns false when that fails.
bool SaveLanguageToIni(const QString& IniName = QString(), const QString& LangFile = QString());
