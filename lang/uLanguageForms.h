#pragma once

#include "lang/uLanguage.h"

#include <QList>
#include <QString>

class QWidget;

// Lets language (the global Language by default) translate real windows, and
// starts noting the order in which top-level windows are created: a language
// file's window element applies to the oldest window of that name. Call it
// once, right after the QApplication is made and before any window exists.
// Calling it again only installs the translator into another language object.
void InstallWindowTranslation(TLanguage& language = Language);

// Gives a window made after the language was loaded the current language's
// texts (TLanguage::TranslateForm) and lets its labels fit them
// (FitControlTexts). Every window calls it at the end of its construction,
// so that its creator's own texts, put in afterwards, are not overwritten.
void TranslateNewWindow(QWidget* Window, const TLanguage& language = Language);

// The application's windows: the widgets without a parent, oldest first
// (those created before InstallWindowTranslation come last).
QList<QWidget*> ApplicationWindows();

// The first direct child control of Parent whose object name equals Name
// exactly; null when there is none.
QWidget* FindChildControl(QWidget* Parent, const QString& Name);
