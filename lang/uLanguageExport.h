#pragma once

#include "lang/uXmlUtils.h"

#include <QString>

class QWidget;

// Writing a window's texts as a template from which a language file is made:
// one element per control, named by its object name, nested as the controls
// are, with "caption" and "hint" attributes when not empty and an "items"
// element for combo-box lines and list-view columns.

// Appends Control's element, with its items, texts and child controls, as the
// last child of ParentNode. Controls without a name usable as an XML element
// name (Qt's unnamed internal widgets) are left out with their children: a
// language file could not address them either.
void ExportControl(QWidget* Control, TXmlElement* ParentNode);

// Appends Control's "items" element to Node when it has an item list (even
// an empty one) or is a list view with at least one column.
void ExportItems(QWidget* Control, TXmlElement& Node);

// The template file of a window: a document "root" holding the window's
// element, written in windows-1250 (which it declares). Throws Exception when
// the file cannot be written.
void ExportFormTemplate(QWidget* Form, const QString& FileName);
