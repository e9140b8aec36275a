#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <array>
#include <cstdint>

class QWidget;

// Small stateless routines of the main window.

// A standard message box with the classic flag values; an empty caption
// shows the application's title (QGuiApplication::applicationDisplayName(),
// which is the application name unless a display name was set). Returns the
// classic code of the button that closed it (IDOK 1 ... IDNO 7).
int MsgBox(const QString& Text, unsigned Flags = 0, const QString& Caption = QString(), QWidget* Owner = nullptr);
// The entry the windows call; the same as MsgBox.
int ShowMessageBox(const QString& Text, unsigned Flags = 0, const QString& Caption = QString(),
                   QWidget* Owner = nullptr);

// An IPv4 address whose memory bytes are the dotted numbers in text order
// (as inet_addr gives it) to "a.b.c.d", and back. StrToIPAddr never fails:
// a part that is not a number leaves its byte 0.
QString IPAddrToStr(std::uint32_t Addr);
std::uint32_t StrToIPAddr(const QString& Text);

// Address text the operator typed: exactly four decimal parts of 0 to 255
// (one to three digits, no leading zero, no signs, blanks or other forms). The lenient
// routines above and in the device link accept what inet_addr accepts, where
// "10.1" or "010.1.1.1" mean addresses the operator never typed.
bool TryStrictStrToIP(const QString& Text, std::uint32_t& Addr);
// Mask (memory bytes in text order) whose one bits run unbroken from the
// first dotted number; 0 and 255.255.255.255 count.
bool IsContiguousMask(std::uint32_t Mask);

// A MAC address of six zero bytes stands for "none".
bool IsZeroMAC(const std::array<std::uint8_t, 6>& MAC);

// The parts of Text between the delimiters; a delimiter at the very end
// gives no empty last part, an empty Text no parts. Returns their number.
int Split(const QString& Text, const QString& Delimiter, QStringList& List);

// A 16-bit language identifier: (sub-language << 10) | primary language.
int MakeLangId(int Primary, int Sub);

// The system's text for an errno value; 0 stands for the calling thread's
// current errno.
QString SysErrorText(int Code = 0);

// Size in bytes of an existing regular file, -1 when there is none.
qint64 GetFileSizeByName(const QString& FileName);

// Reads up to MaxLength bytes from the start of the file into Buffer (which
// holds at least MaxLength bytes). Returns the number read, or -1 when the
// file cannot be read; with RaiseErrors, an unreadable file raises
// Exception("Chyba při čtení souboru <name>\r\n<system text>") instead.
qint64 ReadFileToBuffer(const QString& FileName, char* Buffer, qint64 MaxLength, bool RaiseErrors);

// The whole file as bytes. A missing or empty file gives an empty result
// without an exception; other failures as ReadFileToBuffer.
QByteArray ReadFileToString(const QString& FileName, bool RaiseErrors);
