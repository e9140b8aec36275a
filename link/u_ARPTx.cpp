#include "link/u_ARPTx.h"

#include "lang/uLanguage.h"
#include "platform/CommandText.h"
#include "platform/HexDigit.h"
#include "platform/ShellWord.h"
#include "platform/Winsock.h"

#include <QStringList>

#include <arpa/inet.h>

#include <algorithm>
#include <bit>
#include <cstring>

using namespace platform;

namespace {

const QString kLibraryName = QStringLiteral("iphlpapi.dll");
constexpr uint32_t kAllOnes = 0xFFFFFFFFu;

// Opening the IP Helper happens once for all instances.
enum class LibraryState { NotTried, Failed, Loaded };

struct Library
{
    LibraryState state = LibraryState::NotTried;
    uint32_t loadError = 0;
    std::unique_ptr<IpHelper> helper;
    TIpHelperLoader loader;
};

Library& library()
{
    static Library lib;
    return lib;
}

uint32_t addressOf(uint8_t a, uint8_t b, uint8_t c, uint8_t d)
{
    const uint8_t bytes[4] = {a, b, c, d};
    uint32_t v;
    std::memcpy(&v, bytes, sizeof v);
    return v;
}

uint8_t firstOctet(uint32_t ip)
{
    uint8_t bytes[4];
    std::memcpy(bytes, &ip, sizeof bytes);
    return bytes[0];
}

QString fixedText(const char* text, size_t room)
{
    return QString::fromLocal8Bit(text, static_cast<qsizetype>(strnlen(text, room)));
}

QString Txt(const char16_t* Key, const char16_t* Default)
{
    return Language.GetText(QString::fromUtf16(Key), QString::fromUtf16(Default));
}

QString shellWord(const QString& word)
{
    return QString::fromStdString(ShellWord(word.toStdString()));
}

// The group set up in the Rights section of README.md.
const QString kHelperGroupName = QStringLiteral("vynnet");

// The whole fix an administrator runs as root, on a line of its own with
// nothing after it to be pasted along: the group made where it is missing,
// the user added where the group database does not list them yet, and the
// helper kept to that group with its capabilities. One command, its steps
// joined so that each runs only after the one before; setcap comes last,
// as a change of owner takes capabilities away, and capabilities given to
// a helper every user may run would be every user's. gpasswd rather than
// usermod: it also adds users from a directory service.
QString setUpCommand(const QString& helper, const QString& group, bool groupExists, const QString& user)
{
    const QString path = shellWord(helper);
    const QString name = shellWord(group);
    QStringList steps;
    if (!groupExists)
        steps << QStringLiteral("groupadd --system ") + name;
    if (!UserInGroup(user, group))
        steps << QStringLiteral("gpasswd -a ") + shellWord(user) + u' ' + name;
    steps << QStringLiteral("chown ") + shellWord(QStringLiteral("root:") + group) + u' ' + path
          << QStringLiteral("chmod 750 ") + path
          << QStringLiteral("setcap cap_net_admin,cap_net_raw+ep ") + path;
    return CommandLine(steps.join(QStringLiteral(" && ")));
}

// Each missing right with the whole fix. The helper's own group is kept
// only when root keeps the helper to one with a name gpasswd can take;
// otherwise the fix sets up the group README.md names, since adding a user
// to the group of a file its builder owns, or to root's, would open the
// helper, or the system, to that user.
QString RightsText(uint32_t Code)
{
    const QString helper = NetHelperPath();
    QString group = NetHelperKeptToGroup() ? NetHelperGroup() : QString();
    const bool kept = !group.isEmpty() && GroupExists(group);
    if (!kept)
        group = kHelperGroupName;
    const bool groupExists = kept || GroupExists(group);
    const QString user = CurrentUserName();
    switch (Code) {
    case ERROR_FILE_NOT_FOUND:
        return Txt(u"PomocnyChybi", u"Pomocný program %1 chybí, a tento způsob přiřazení IP adresy proto selže; "
                                    u"program jej hledá ve své složce, kam jej příkaz make run sestaví.")
            .arg(UnbrokenPath(helper));
    case ERROR_ACCESS_DISABLED_BY_POLICY:
        if (kept && NetHelperLacksCapabilities()) {
            return Txt(u"PomocnyNesmiBezPrav",
                       u"Uživatel %3 nesmí spustit pomocný program %1, který smějí spouštět jen členové jeho "
                       u"skupiny %2, a tento způsob přiřazení IP adresy proto selže. Pomocný program navíc nemá "
                       u"oprávnění CAP_NET_ADMIN a CAP_NET_RAW. Správce jako root provede tento příkaz a uživatel "
                       u"se pak znovu přihlásí:")
                       .arg(UnbrokenPath(helper), group, user) +
                setUpCommand(helper, group, groupExists, user);
        }
        if (kept) {
            return Txt(u"PomocnyNesmi",
                       u"Uživatel %3 nesmí spustit pomocný program %1, který smějí spouštět jen členové jeho "
                       u"skupiny %2, a tento způsob přiřazení IP adresy proto selže. Správce jako root provede "
                       u"tento příkaz a uživatel se pak znovu přihlásí:")
                       .arg(UnbrokenPath(helper), group, user) +
                setUpCommand(helper, group, groupExists, user);
        }
        return Txt(u"PomocnyNesmiNastavit",
                   u"Uživatel %3 nesmí spustit pomocný program %1, a tento způsob přiřazení IP adresy proto selže. "
                   u"Pomocný program ještě není svěřen skupině %2, jejíž členové jediní jej smějí spouštět. Správce "
                   u"jako root provede tento příkaz a uživatel se pak znovu přihlásí:")
                   .arg(UnbrokenPath(helper), group, user) +
            setUpCommand(helper, group, groupExists, user);
    case ERROR_PRIVILEGE_NOT_HELD:
        return Txt(u"PomocnyBezPrav",
                   u"Pomocný program %1 nemá oprávnění CAP_NET_ADMIN a CAP_NET_RAW, bez nichž tento způsob přiřazení "
                   u"IP adresy selže. Dostane je jen spolu se skupinou %2, jejíž členové jediní jej smějí spouštět. "
                   u"Správce jako root provede tento příkaz a uživatel %3 se pak znovu přihlásí:")
                   .arg(UnbrokenPath(helper), group, user) +
            setUpCommand(helper, group, groupExists, user);
    default:
        return Txt(u"PomocnyNepracuje",
                   u"Pomocný program %1 nepracuje, jak má (%2), a tento způsob přiřazení IP adresy proto selže.")
            .arg(UnbrokenPath(helper), SystemErrorText(Code).trimmed());
    }
}

// What stands in a refused change's way, by the reason's kind: the code the
// kind comes with and one whole sentence naming the address (%1) and the
// interface (%2); for the helper's bounds, the command that clears what it
// holds.
struct TReasonText
{
    const char* Kind;
    uint32_t Code;
    QString (*Sentence)();
    const char* Removal = nullptr;
};

const TReasonText kReasonTexts[] = {
    {net::reason::kHostRoute, ERROR_NOT_OWNER,
     [] {
         return Txt(u"CiziTrasaKHostiteli",
                    u"Ve směrovací tabulce je trasa k jedinému hostiteli %1, kterou nevytvořil tento program "
                    u"(nejspíš ji zadal správce). Program ji ponechá, jak je, a tento způsob přiřazení IP adresy na "
                    u"rozhraní %2 proto selže.");
     }},
    {net::reason::kBlackholeRoute, ERROR_NOT_OWNER,
     [] {
         return Txt(u"TrasaBlackhole",
                    u"Jádro vede provoz k adrese %1 trasou typu blackhole, která jej tiše zahazuje. Program ji "
                    u"ponechá, jak je, a k té adrese na rozhraní %2 trasu nevytvoří; tento způsob přiřazení IP "
                    u"adresy proto selže.");
     }},
    {net::reason::kUnreachableRoute, ERROR_NOT_OWNER,
     [] {
         return Txt(u"TrasaUnreachable",
                    u"Jádro vede provoz k adrese %1 trasou typu unreachable, která odesílateli hlásí, že cíl je "
                    u"nedostupný. Program ji ponechá, jak je, a k té adrese na rozhraní %2 trasu nevytvoří; tento "
                    u"způsob přiřazení IP adresy proto selže.");
     }},
    {net::reason::kProhibitRoute, ERROR_NOT_OWNER,
     [] {
         return Txt(u"TrasaProhibit",
                    u"Jádro vede provoz k adrese %1 trasou typu prohibit, která odesílateli hlásí, že provoz k cíli "
                    u"správce zakázal. Program ji ponechá, jak je, a k té adrese na rozhraní %2 trasu nevytvoří; "
                    u"tento způsob přiřazení IP adresy proto selže.");
     }},
    {net::reason::kThrowRoute, ERROR_NOT_OWNER,
     [] {
         return Txt(u"TrasaThrow",
                    u"Jádro vede provoz k adrese %1 trasou typu throw, která ukončí hledání trasy ve své tabulce, "
                    u"takže provoz jde podle další tabulky, nebo nikam. Program ji ponechá, jak je, a k té adrese na "
                    u"rozhraní %2 trasu nevytvoří; tento způsob přiřazení IP adresy proto selže.");
     }},
    {net::reason::kPermanentEntry, ERROR_NOT_OWNER,
     [] {
         return Txt(u"CiziTrvalyZaznam",
                    u"V tabulce sousedů je pro adresu %1 na rozhraní %2 trvalý záznam, který nevytvořil tento "
                    u"program (nejspíš jej zadal správce). Program jej ponechá, jak je, a tento způsob přiřazení IP "
                    u"adresy proto selže.");
     }},
    {net::reason::kNoarpEntry, ERROR_NOT_OWNER,
     [] {
         return Txt(u"CiziZaznamNoarp",
                    u"V tabulce sousedů je pro adresu %1 na rozhraní %2 záznam typu NOARP (pro adresu, na kterou se "
                    u"neposílají dotazy ARP), který nevytvořil tento program. Program jej ponechá, jak je, a tento "
                    u"způsob přiřazení IP adresy proto selže.");
     }},
    {net::reason::kManagedEntry, ERROR_NOT_OWNER,
     [] {
         return Txt(u"CiziZaznamManaged",
                    u"V tabulce sousedů je pro adresu %1 na rozhraní %2 spravovaný záznam (typu managed, který jádro "
                    u"pro jiný program udržuje rozpoznaný), který nevytvořil tento program. Program jej ponechá, jak "
                    u"je, a tento způsob přiřazení IP adresy proto selže.");
     }},
    {net::reason::kExternEntry, ERROR_NOT_OWNER,
     [] {
         return Txt(u"CiziZaznamExtern",
                    u"V tabulce sousedů je pro adresu %1 na rozhraní %2 záznam naučený zvenčí (typu extern_learn, "
                    u"který vložil jiný program, například ovladač přepínače nebo směrovací démon). Program jej "
                    u"ponechá, jak je, a tento způsob přiřazení IP adresy proto selže.");
     }},
    {net::reason::kProtocolEntry, ERROR_NOT_OWNER,
     [] {
         return Txt(u"CiziZaznamProtokolu",
                    u"V tabulce sousedů je pro adresu %1 na rozhraní %2 záznam jiného protokolu (záznam, který si "
                    u"označil jiný program, nebo záznam tohoto programu, který už není trvalý). Program jej ponechá, "
                    u"jak je, a tento způsob přiřazení IP adresy proto selže.");
     }},
    {net::reason::kNextHop, ERROR_INVALID_PARAMETER,
     [] {
         return Txt(u"AdresaBrany",
                    u"Adresa %1 je bránou (next hop), přes kterou vede trasa tohoto počítače, a tento program pro ni "
                    u"proto na rozhraní %2 nevytvoří záznam ani trasu. Zvolte pro zařízení jinou IP adresu.");
     }},
    {net::reason::kOwnAddress, ERROR_INVALID_PARAMETER,
     [] {
         return Txt(u"AdresaPocitace",
                    u"Adresa %1 je adresou tohoto počítače, a tento program pro ni proto na rozhraní %2 nevytvoří "
                    u"záznam ani trasu. Zvolte pro zařízení jinou IP adresu.");
     }},
    {net::reason::kNetworkAddress, ERROR_INVALID_PARAMETER,
     [] {
         return Txt(u"AdresaSite",
                    u"Adresa %1 je síťovou adresou podsítě rozhraní %2, a tento program pro ni proto nevytvoří "
                    u"záznam ani trasu. Zvolte pro zařízení jinou IP adresu.");
     }},
    {net::reason::kBroadcastAddress, ERROR_INVALID_PARAMETER,
     [] {
         return Txt(u"AdresaVsesmerova",
                    u"Adresa %1 je všesměrovou adresou podsítě rozhraní %2, a tento program pro ni proto nevytvoří "
                    u"záznam ani trasu. Zvolte pro zařízení jinou IP adresu.");
     }},
    {net::reason::kOtherNetwork, ERROR_INVALID_PARAMETER,
     [] {
         return Txt(u"AdresaJineKarty",
                    u"Adresa %1 leží v síti, ke které je připojena jiná síťová karta tohoto počítače, a tento "
                    u"program pro ni proto na rozhraní %2 nevytvoří záznam ani trasu, jež by provoz té sítě odvedly "
                    u"od její karty. Zvolte pro zařízení jinou IP adresu, nebo síťovou kartu, ke které je zařízení "
                    u"připojeno.");
     }},
    {net::reason::kEntryLimit, ERROR_INVALID_PARAMETER,
     [] {
         return Txt(u"PomocnyMnohoZaznamu",
                    u"Pomocný program už má v tabulce sousedů tolik svých záznamů, kolik smí, a pro adresu %1 na "
                    u"rozhraní %2 už další nevytvoří, takže tento způsob přiřazení IP adresy selže. Jsou to nejspíš "
                    u"zbytky přerušených pokusů: správce je všechny odstraní tímto příkazem, který provede jako root:");
     },
     "ip neigh flush proto 86 nud permanent"},
    {net::reason::kRouteLimit, ERROR_INVALID_PARAMETER,
     [] {
         return Txt(u"PomocnyMnohoTras",
                    u"Pomocný program už má ve směrovací tabulce tolik svých tras k jedinému hostiteli, kolik smí, a "
                    u"k adrese %1 na rozhraní %2 už další nevytvoří, takže tento způsob přiřazení IP adresy selže. "
                    u"Jsou to nejspíš zbytky přerušených pokusů: správce je všechny odstraní tímto příkazem, který "
                    u"provede jako root:");
     },
     "ip route flush table all proto 86"},
};

// The sentence of a refusal whose reason has a kind, with what is in the
// way as `ip` shows it; empty without a kind the code comes with, or without
// the address the change was for. A request the helper takes for wrong is
// this program's own fault. The bounds name nothing in the way, and their
// command stays the last line.
QString ReasonText(uint32_t Code, const TNetEntry& Entry)
{
    const net::Reason& why = Entry.Why;
    if (Code == ERROR_INVALID_PARAMETER && why.kind == net::reason::kArgument) {
        return Txt(u"ChybnyPozadavek",
                   u"Vnitřní chyba programu: síťová změna, kterou tento způsob přiřazení IP adresy potřebuje, byla "
                   u"odmítnuta jako požadavek, který program nemá nikdy poslat (%1). Oznamte to prosím vývojářům "
                   u"programu.")
            .arg(QString::fromStdString(why.text.empty() ? why.shown : why.text));
    }
    const auto* t = std::find_if(std::begin(kReasonTexts), std::end(kReasonTexts),
                                 [&](const TReasonText& r) { return r.Code == Code && why.kind == r.Kind; });
    if (t == std::end(kReasonTexts) || Entry.IP == 0)
        return QString();
    QString text = t->Sentence().arg(TARPManager::IPToStr(Entry.IP), NetInterfaceName(Entry.Interface));
    if (t->Removal)
        return text + CommandLine(QString::fromLatin1(t->Removal));
    if (!why.shown.empty())
        text += u' ' + Txt(u"JakToUkazujeIp", u"Příkaz ip to ukazuje takto: %1").arg(QString::fromStdString(why.shown));
    return text;
}

// The reason of a change that just failed with rc, when it gave one.
net::Reason ReasonOf(uint32_t rc)
{
    return GetLastError() == rc ? GetLastErrorReason() : net::Reason{};
}

// Whether an object of type T at p lies wholly inside the buffer.
template <class T>
bool insideBuffer(const void* p, const std::vector<uint64_t>& buffer)
{
    const auto* begin = reinterpret_cast<const char*>(buffer.data());
    const auto* end = begin + buffer.size() * sizeof(uint64_t);
    const auto* at = static_cast<const char*>(p);
    return at >= begin && at + sizeof(T) <= end;
}

} // namespace

// ---------------------------------------------------------------- the library

void SetIpHelperLoader(TIpHelperLoader Loader)
{
    Library& lib = library();
    lib.loader = std::move(Loader);
    lib.helper.reset();
    lib.loadError = 0;
    lib.state = LibraryState::NotTried;
}

IpHelper* TARPManager::LoadIphlpapi()
{
    Library& lib = library();
    if (lib.state == LibraryState::NotTried) {
        lib.helper = lib.loader ? lib.loader() : OpenIpHelper();
        if (lib.helper) {
            lib.state = LibraryState::Loaded;
        } else {
            lib.state = LibraryState::Failed;
            lib.loadError = GetLastError();
        }
    }
    if (!lib.helper) {
        ReportError(kLibraryName, lib.loadError != 0 ? lib.loadError : ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return lib.helper.get();
}

TARPManager& ARPManager()
{
    static std::unique_ptr<TARPManager> instance;
    if (!instance)
        instance = std::make_unique<TARPManager>(false);
    return *instance;
}

// ---------------------------------------------------------------- errors

QString ARPErrorText(uint32_t Code, const TNetEntry& Entry)
{
    const QString crlf = QStringLiteral("\r\n");
    if (IsMissingRights(Code))
        return RightsText(Code) + crlf;
    if (const QString refusal = ReasonText(Code, Entry); !refusal.isEmpty())
        return refusal + crlf;
    const QString ip = TARPManager::IPToStr(Entry.IP);
    switch (Code) {
    case ERROR_NOT_OWNER:
        if (Entry.Route)
            return Txt(u"CiziTrasa", u"Ve směrovací tabulce je trasa k adrese %1, kterou nevytvořil tento program "
                                     u"(nejspíš ji zadal správce). Program ji ponechá, jak je, a tento způsob "
                                     u"přiřazení IP adresy proto selže.")
                       .arg(ip) +
                crlf;
        return Txt(u"CiziZaznamARP", u"V tabulce sousedů je záznam pro adresu %1 na rozhraní %2, který nevytvořil "
                                     u"tento program (nejspíš jej zadal správce nebo jiný program). Program jej "
                                     u"ponechá, jak je, a tento způsob přiřazení IP adresy proto selže.")
                   .arg(ip, NetInterfaceName(Entry.Interface)) +
            crlf;
    case ERROR_ACCESS_DENIED:
        return Txt(u"PristupOdepren", u"Přístup byl odepřen.") + crlf;
    case ERROR_NOT_ENOUGH_MEMORY:
        return Txt(u"NedostatekPameti", u"Pro zpracování tohoto příkazu není k dispozici dostatek paměti.") + crlf;
    case ERROR_BAD_NET_NAME:
        return Txt(u"NikdoNeodpovedel", u"Název sítě nebyl nalezen: na dotaz ARP neodpověděl žádný počítač.") + crlf;
    case ERROR_INVALID_PARAMETER:
        // A change for a named address is refused for what the address is.
        if (Entry.IP != 0)
            return Txt(u"AdresaNepouzitelna",
                       u"Pro adresu %1 tento program na rozhraní %2 nevytvoří záznam ani trasu: je to adresa tohoto "
                       u"počítače, síťová nebo všesměrová adresa jeho podsítě, nebo brána, přes kterou vedou jeho "
                       u"trasy. Zvolte pro zařízení jinou IP adresu.")
                       .arg(ip, NetInterfaceName(Entry.Interface)) +
                crlf;
        return Txt(u"ChybnyParametr", u"Parametr není správný.") + crlf;
    case ERROR_BUFFER_OVERFLOW:
    case ERROR_INSUFFICIENT_BUFFER:
        return Txt(u"MalaDatovaOblast", u"Datová oblast předaná systémovému volání je příliš malá.") + crlf;
    case ERROR_MOD_NOT_FOUND:
        return Txt(u"ModulNenalezen", u"Zadaný modul nebyl nalezen.") + crlf;
    case ERROR_NO_DATA:
        return Txt(u"ZadnaData", u"Nejsou k dispozici žádná data.") + crlf;
    case ERROR_NOT_FOUND:
        return Txt(u"PrvekNenalezen", u"Prvek nebyl nalezen.") + crlf;
    case ERROR_NETWORK_UNREACHABLE:
        return Txt(u"SitNedostupna", u"Síťové umístění není dostupné.") + crlf;
    case ERROR_HOST_UNREACHABLE:
        return Txt(u"PocitacNedostupny", u"Vzdálený systém není dostupný.") + crlf;
    default:
        // The system's own text of an errno, as a file error carries it.
        return SystemErrorText(Code);
    }
}

void TARPManager::ReportError(const QString& Name, uint32_t Code, const TNetEntry& Entry)
{
    if (Code == 0)
        Code = GetLastError();
    if (Code == 0 || !RaiseErrors)
        return;
    throw EARPException(Name + QStringLiteral(":\r\n") + ARPErrorText(Code, Entry) +
                        QStringLiteral("(#%1)").arg(Code, 8, 16, QLatin1Char('0')).toUpper());
}

void TARPManager::ReportText(const QString& Name, const QString& Text)
{
    if (RaiseErrors)
        throw EARPException(Name + QStringLiteral(":\r\n") + Text);
}

// ---------------------------------------------------------------- tables

TARPManager::TARPManager(bool ReadNow)
{
    if (ReadNow) {
        try {
            GetARPTable();
            GetInterfacesInfo();
        } catch (const Exception&) {
        }
    }
}

TARPManager::~TARPManager() = default;

template <class Row>
int32_t TARPManager::ReadTable(const QString& Name, const TableCall& Call, std::vector<Row>& Rows)
{
    IpHelper* helper = LoadIphlpapi();
    if (!helper)
        return -1;
    uint32_t scratch = 0;
    uint32_t size = sizeof scratch;
    uint32_t rc = Call(*helper, &scratch, &size, SortTables);
    if (rc == NO_ERROR || rc == ERROR_NO_DATA) {
        Rows.clear();
        return 0;
    }
    if (rc != ERROR_INSUFFICIENT_BUFFER) {
        ReportError(Name, 0);
        return -1;
    }
    // Only one more try: a table that grew in between is reported.
    std::vector<uint8_t> buffer(size);
    rc = Call(*helper, buffer.data(), &size, SortTables);
    size = std::min<uint32_t>(size, static_cast<uint32_t>(buffer.size()));
    if (rc != NO_ERROR || size < sizeof(uint32_t)) {
        ReportError(Name, 0);
        return -1;
    }
    uint32_t count;
    std::memcpy(&count, buffer.data(), sizeof count);
    // A count beyond what the buffer holds cannot be real rows.
    count = std::min<uint32_t>(count, (size - sizeof count) / sizeof(Row));
    Rows.assign(count, Row{});
    if (count > 0)
        std::memcpy(Rows.data(), buffer.data() + sizeof count, count * sizeof(Row));
    return static_cast<int32_t>(count);
}

int32_t TARPManager::GetARPTable()
{
    return ReadTable<MIB_IPNETROW>(
        QStringLiteral("GetARPTable"),
        [](IpHelper& h, void* t, uint32_t* s, bool o) { return h.GetIpNetTable(t, s, o); }, ArpRows);
}

int32_t TARPManager::GetIPTable()
{
    return ReadTable<MIB_IPADDRROW>(
        QStringLiteral("GetIPTable"),
        [](IpHelper& h, void* t, uint32_t* s, bool o) { return h.GetIpAddrTable(t, s, o); }, AddrRows);
}

template <class Word>
int64_t TARPManager::ReadSized(const QString& Name, const SizedCall& Call, std::vector<Word>& Buffer)
{
    IpHelper* helper = LoadIphlpapi();
    if (!helper)
        return -1;
    uint32_t size = 0;
    uint32_t rc = Call(*helper, nullptr, &size);
    const bool accepted = rc == NO_ERROR || rc == ERROR_INSUFFICIENT_BUFFER || rc == ERROR_INVALID_PARAMETER ||
        rc == ERROR_BUFFER_OVERFLOW;
    if (!accepted) {
        ReportError(Name, rc);
        return -1;
    }
    if (size == 0)
        return 0;
    Buffer.assign((size + sizeof(Word) - 1) / sizeof(Word), Word{});
    rc = Call(*helper, Buffer.data(), &size);
    if (rc != NO_ERROR) {
        ReportError(Name, rc);
        return -1;
    }
    return std::min<int64_t>(size, static_cast<int64_t>(Buffer.size() * sizeof(Word)));
}

int32_t TARPManager::GetInterfacesInfo()
{
    std::vector<uint8_t> buffer;
    const int64_t size = ReadSized(
        QStringLiteral("GetInterfacesInfo"),
        [](IpHelper& h, void* t, uint32_t* s) { return h.GetInterfaceInfo(t, s); }, buffer);
    if (size < 0)
        return -1;
    uint32_t count = 0;
    if (size >= static_cast<int64_t>(sizeof count)) {
        std::memcpy(&count, buffer.data(), sizeof count);
        count = std::min<uint32_t>(count, static_cast<uint32_t>((size - sizeof count) / sizeof(IP_ADAPTER_INDEX_MAP)));
    }
    IfMap.assign(count, IP_ADAPTER_INDEX_MAP{});
    if (count > 0)
        std::memcpy(IfMap.data(), buffer.data() + sizeof count, count * sizeof(IP_ADAPTER_INDEX_MAP));
    return static_cast<int32_t>(count);
}

int32_t TARPManager::GetAdaptersInfo()
{
    // Read into a buffer of its own: the list held so far points into the
    // old one and must stay valid if this read fails.
    std::vector<uint64_t> buffer;
    const int64_t size = ReadSized(
        QStringLiteral("GetAdaptersInfo"),
        [](IpHelper& h, void* i, uint32_t* s) { return h.GetAdaptersInfo(i, s); }, buffer);
    if (size < 0)
        return -1;
    std::vector<const IP_ADAPTER_INFO*> list;
    if (size > 0) {
        for (auto* a = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data());
             a && insideBuffer<IP_ADAPTER_INFO>(a, buffer) && std::find(list.begin(), list.end(), a) == list.end();
             a = a->Next)
            list.push_back(a);
    }
    AdapterBuffer = std::move(buffer);
    AdapterList = std::move(list);
    return AdapterCount();
}

const MIB_IPNETROW* TARPManager::ArpRow(int32_t i) const
{
    return i >= 0 && i < ArpCount() ? &ArpRows[static_cast<size_t>(i)] : nullptr;
}

const MIB_IPADDRROW* TARPManager::AddrRow(int32_t i) const
{
    return i >= 0 && i < AddrCount() ? &AddrRows[static_cast<size_t>(i)] : nullptr;
}

const IP_ADAPTER_INFO* TARPManager::Adapter(int32_t i) const
{
    return i >= 0 && i < AdapterCount() ? AdapterList[static_cast<size_t>(i)] : nullptr;
}

QString TARPManager::AdapterName(int32_t i) const
{
    const IP_ADAPTER_INFO* a = Adapter(i);
    return a ? fixedText(a->AdapterName, sizeof a->AdapterName) : QString();
}

QString TARPManager::AdapterDescription(int32_t i) const
{
    const IP_ADAPTER_INFO* a = Adapter(i);
    return a ? fixedText(a->Description, sizeof a->Description) : QString();
}

const IP_ADDR_STRING* TARPManager::AdapterAddress(int32_t i, int32_t n) const
{
    const IP_ADAPTER_INFO* a = Adapter(i);
    if (!a || n < 0)
        return nullptr;
    const IP_ADDR_STRING* s = &a->IpAddressList;
    for (int32_t k = 0; s && k < n; ++k) {
        s = s->Next;
        if (s && !insideBuffer<IP_ADDR_STRING>(s, AdapterBuffer))
            return nullptr;
    }
    return s;
}

// ---------------------------------------------------------------- ARP entries

bool TARPManager::DeleteARPEntry(const MIB_IPNETROW& Row)
{
    IpHelper* helper = LoadIphlpapi();
    if (!helper)
        return false;
    const uint32_t rc = helper->DeleteIpNetEntry(Row);
    if (rc == NO_ERROR)
        return true;
    ReportError(QStringLiteral("DeleteARPEntry"), rc, {Row.dwAddr, Row.dwIndex, false, ReasonOf(rc)});
    return false;
}

bool TARPManager::DeleteARPEntryByIndex(int32_t i)
{
    const MIB_IPNETROW* row = ArpRow(i);
    if (!row) {
        ReportText(QStringLiteral("DeleteARPEntry"), QStringLiteral("Index out of bounds."));
        return false;
    }
    return DeleteARPEntry(*row);
}

bool TARPManager::DeleteByIP(const QString& IP, uint32_t EntryType)
{
    const uint32_t addr = StrToIP(IP);
    bool deleted = false;
    for (const MIB_IPNETROW& row : ArpRows) {
        if (row.dwAddr == addr && (EntryType == 0 || row.dwType == EntryType)) {
            if (DeleteARPEntry(row))
                deleted = true;
        }
    }
    return deleted;
}

bool TARPManager::DeleteByIPNum(uint32_t IP, uint32_t EntryType)
{
    return DeleteByIP(IPToStr(IP), EntryType);
}

bool TARPManager::DeleteByMAC(const QString& MAC, uint32_t EntryType)
{
    TMACBytes mac{};
    if (!StrToMACBuf(MAC, mac.data(), static_cast<int32_t>(mac.size())))
        return false;
    if (mac == TMACBytes{})
        return false;
    bool deleted = false;
    for (const MIB_IPNETROW& row : ArpRows) {
        if (std::memcmp(row.bPhysAddr, mac.data(), mac.size()) == 0 &&
            (EntryType == 0 || row.dwType == EntryType)) {
            if (DeleteARPEntry(row))
                deleted = true;
        }
    }
    return deleted;
}

bool TARPManager::DeleteByMACBytes(const TMACBytes& MAC, uint32_t EntryType)
{
    return DeleteByMAC(MACBufToStr(MAC.data(), static_cast<int32_t>(MAC.size())), EntryType);
}

bool TARPManager::RowHasMAC(const MIB_IPNETROW* Row, const TMACBytes& MAC)
{
    return Row && Row->dwPhysAddrLen == MAC.size() && std::memcmp(Row->bPhysAddr, MAC.data(), MAC.size()) == 0;
}

int32_t TARPManager::FindEntryIndex(uint32_t IP, const TMACBytes& MAC, uint32_t EntryType) const
{
    for (int32_t i = 0; i < ArpCount(); ++i) {
        const MIB_IPNETROW& row = ArpRows[static_cast<size_t>(i)];
        if (row.dwAddr == IP && RowHasMAC(&row, MAC) && (EntryType == 0 || row.dwType == EntryType))
            return i;
    }
    return -1;
}

const MIB_IPNETROW* TARPManager::FindEntry(uint32_t IP, const TMACBytes& MAC, uint32_t EntryType) const
{
    return ArpRow(FindEntryIndex(IP, MAC, EntryType));
}

int32_t TARPManager::FindEntryByIP(uint32_t IP, uint32_t EntryType) const
{
    for (int32_t i = 0; i < ArpCount(); ++i) {
        const MIB_IPNETROW& row = ArpRows[static_cast<size_t>(i)];
        if (row.dwAddr == IP && (EntryType == 0 || row.dwType == EntryType))
            return i;
    }
    return -1;
}

bool TARPManager::DeleteEntry(uint32_t IP, const TMACBytes& MAC, uint32_t EntryType)
{
    const MIB_IPNETROW* row = FindEntry(IP, MAC, EntryType);
    return row && DeleteARPEntry(*row);
}

bool TARPManager::CreateARPEntryRow(const MIB_IPNETROW& Row)
{
    IpHelper* helper = LoadIphlpapi();
    if (!helper)
        return false;
    const uint32_t rc = helper->CreateIpNetEntry(Row);
    if (rc == NO_ERROR)
        return true;
    ReportError(QStringLiteral("CreateARPEntry"), rc, {Row.dwAddr, Row.dwIndex, false, ReasonOf(rc)});
    return false;
}

bool TARPManager::CreateARPEntry(uint32_t IP, const TMACBytes& MAC, uint32_t EntryType, int32_t Interface)
{
    MIB_IPNETROW row{};
    row.dwPhysAddrLen = static_cast<uint32_t>(MAC.size());
    std::copy(MAC.begin(), MAC.end(), row.bPhysAddr);
    row.dwAddr = IP;
    row.dwType = EntryType;
    int64_t index = Interface;
    if (Interface == -1) {
        index = InterfaceFor(IP);
        if (index == -1) {
            ReportError(QStringLiteral("CreateARPEntry"), 0);
            return false;
        }
    }
    row.dwIndex = static_cast<uint32_t>(index);
    return CreateARPEntryRow(row);
}

int32_t TARPManager::InterfaceFor(uint32_t IP)
{
    // No interface has index 0, so 0 (what a failed look-up gives with
    // errors off) counts as not found too.
    try {
        const uint32_t best = GetBestInterface(IP);
        if (best != 0)
            return static_cast<int32_t>(best);
    } catch (const Exception&) {
    }
    if (!ArpRows.empty())
        return static_cast<int32_t>(ArpRows.front().dwIndex);
    return -1;
}

int32_t TARPManager::InterfaceOfAddress(uint32_t IP)
{
    if (AddrCount() < 1)
        GetIPTable();
    for (const MIB_IPADDRROW& row : AddrRows) {
        if (row.dwAddr == IP)
            return static_cast<int32_t>(row.dwIndex);
    }
    return -1;
}

bool TARPManager::IsOnLink(uint32_t IP, int32_t Interface)
{
    IpHelper* helper = nullptr;
    try {
        helper = LoadIphlpapi();
    } catch (const Exception&) {
    }
    if (!helper)
        return false;
    uint32_t index = 0;
    uint32_t nextHop = 0;
    if (helper->GetBestRoute(IP, &index, &nextHop) != NO_ERROR)
        return false;
    return nextHop == 0 && (Interface == -1 || index == static_cast<uint32_t>(Interface));
}

bool TARPManager::CreateHostRoute(uint32_t IP, int32_t Interface)
{
    IpHelper* helper = LoadIphlpapi();
    if (!helper)
        return false;
    const uint32_t rc = helper->CreateHostRoute(IP, static_cast<uint32_t>(Interface));
    if (rc == NO_ERROR)
        return true;
    ReportError(QStringLiteral("CreateHostRoute"), rc, {IP, static_cast<uint32_t>(Interface), true, ReasonOf(rc)});
    return false;
}

bool TARPManager::DeleteHostRoute(uint32_t IP, int32_t Interface)
{
    IpHelper* helper = LoadIphlpapi();
    if (!helper)
        return false;
    const uint32_t rc = helper->DeleteHostRoute(IP, static_cast<uint32_t>(Interface));
    if (rc == NO_ERROR)
        return true;
    ReportError(QStringLiteral("DeleteHostRoute"), rc, {IP, static_cast<uint32_t>(Interface), true, ReasonOf(rc)});
    return false;
}

QString TARPManager::MissingRightsText()
{
    IpHelper* helper = nullptr;
    try {
        helper = LoadIphlpapi();
    } catch (const Exception&) {
    }
    if (!helper)
        return ARPErrorText(ERROR_MOD_NOT_FOUND).trimmed();
    const uint32_t code = helper->NetworkRights();
    return code == NO_ERROR ? QString() : RightsText(code);
}

uint32_t TARPManager::GetBestInterface(uint32_t IP)
{
    IpHelper* helper = LoadIphlpapi();
    if (!helper)
        return 0;
    uint32_t index = 0;
    const uint32_t rc = helper->GetBestInterface(IP, &index);
    if (rc == NO_ERROR)
        return index;
    ReportError(QStringLiteral("GetBestInterface"), rc);
    return 0;
}

bool TARPManager::SendARP(uint32_t DestIP, TMACBuffer& MAC, uint32_t& Length, uint32_t SrcIP)
{
    MAC.fill(0);
    if (Length != 6)
        Length = static_cast<uint32_t>(MAC.size());
    IpHelper* helper = LoadIphlpapi();
    if (!helper)
        return false;
    const uint32_t rc = helper->SendARP(DestIP, SrcIP, MAC.data(), &Length);
    if (rc == NO_ERROR)
        return true;
    // Only a request the program should not make is refused here.
    ReportError(QStringLiteral("SendARP"), rc, {0, 0, false, ReasonOf(rc)});
    return false;
}

bool TARPManager::ResolveMAC(uint32_t IP, TMACBuffer& MAC)
{
    MAC.fill(0);
    // A cached entry would answer for the wire: drop it first.
    try {
        GetARPTable();
        const int32_t i = FindEntryByIP(IP, 0);
        if (i >= 0)
            DeleteARPEntryByIndex(i);
    } catch (const Exception&) {
    }
    bool ok = false;
    try {
        uint32_t length = 6;
        ok = SendARP(IP, MAC, length, 0);
    } catch (const Exception&) {
    }
    SetLastError(0);
    return ok;
}

// ---------------------------------------------------------------- subnets and adapters

bool TARPManager::SameSubnet(uint32_t A, uint32_t B, uint32_t Mask)
{
    return (A & Mask) == (B & Mask);
}

bool TARPManager::IsLocalSubnet(uint32_t IP)
{
    if (AddrCount() < 1)
        GetIPTable();
    for (const MIB_IPADDRROW& row : AddrRows) {
        if (row.dwAddr != 0 && SameSubnet(IP, row.dwAddr, row.dwMask))
            return true;
    }
    return false;
}

bool TARPManager::IsLocalSubnetStr(const QString& IP)
{
    return IsLocalSubnet(StrToIP(IP));
}

int32_t TARPManager::GetLocalAddresses(AAdapterIPAddresses& List, bool ReadNow)
{
    List.clear();
    if (ReadNow)
        GetAdaptersInfo();
    for (int32_t i = 0; i < AdapterCount(); ++i) {
        for (int32_t n = 0;; ++n) {
            const IP_ADDR_STRING* s = AdapterAddress(i, n);
            if (!s)
                break;
            const QString ip = fixedText(s->IpAddress, sizeof s->IpAddress);
            const uint32_t addr = StrToIP(ip);
            if (addr != 0 && addr != kAllOnes)
                List.push_back({ip, fixedText(s->IpMask, sizeof s->IpMask), AdapterName(i), AdapterDescription(i)});
        }
    }
    return static_cast<int32_t>(List.size());
}

// ---------------------------------------------------------------- address routines

QString TARPManager::IPToStr(uint32_t IP)
{
    uint8_t b[4];
    std::memcpy(b, &IP, sizeof b);
    return QStringLiteral("%1.%2.%3.%4").arg(b[0]).arg(b[1]).arg(b[2]).arg(b[3]);
}

uint32_t TARPManager::StrToIP(const QString& Text)
{
    return winsock::inet_addr(Text);
}

bool TARPManager::IsValidIP(const QString& Text)
{
    return StrToIP(Text) != kAllOnes || Text == QLatin1String("255.255.255.255");
}

char TARPManager::IPClass(uint32_t IP)
{
    const uint8_t b = firstOctet(IP);
    if (b >= 1 && b <= 126)
        return 'A';
    if (b >= 128 && b <= 191)
        return 'B';
    if (b >= 192 && b <= 223)
        return 'C';
    if (b >= 224 && b <= 247)
        return 'D';
    if (b >= 248 && b <= 254)
        return 'E';
    return '\0';
}

uint32_t TARPManager::ClassMask(char Class)
{
    switch (Class) {
    case 'A':
    case 'a':
        return addressOf(255, 0, 0, 0);
    case 'B':
    case 'b':
        return addressOf(255, 255, 0, 0);
    case 'C':
    case 'c':
        return addressOf(255, 255, 255, 0);
    default:
        return 0;
    }
}

uint32_t TARPManager::DefaultMask(uint32_t IP)
{
    return ClassMask(IPClass(IP));
}

QString TARPManager::DefaultMaskStr(const QString& IP)
{
    return IPToStr(DefaultMask(StrToIP(IP)));
}

uint32_t TARPManager::MaskToHostBits(uint32_t Mask)
{
    const uint32_t host = ntohl(Mask);
    return host == 0 ? 0 : static_cast<uint32_t>(std::countr_zero(host));
}

uint32_t TARPManager::HostBitsToMask(int32_t Count)
{
    const int32_t n = std::min<int32_t>(Count, 32);
    uint32_t host = kAllOnes;
    if (n >= 32)
        host = 0;
    else if (n >= 1)
        host = kAllOnes << n;
    return htonl(host);
}

QString TARPManager::MACBufToStr(const uint8_t* Bytes, int32_t Length)
{
    const int32_t n = std::min<int32_t>(Length, 8);
    QStringList parts;
    for (int32_t i = 0; Bytes && i < n; ++i)
        parts << QStringLiteral("%1").arg(Bytes[i], 2, 16, QLatin1Char('0'));
    return parts.join(QLatin1Char('-'));
}

QByteArray TARPManager::StrToMACBytes(const QString& Text)
{
    QString digits;
    for (const QChar c : Text) {
        if (c != QLatin1Char('-') && c != QLatin1Char(' ') && c != QLatin1Char('\r') && c != QLatin1Char('\n') &&
            c != QLatin1Char('\t'))
            digits += c;
    }
    QByteArray bytes;
    for (qsizetype i = 0; i + 1 < digits.size(); i += 2) {
        const QString pair = digits.mid(i, 2);
        const int high = HexDigitValue(pair[0].unicode());
        const int low = HexDigitValue(pair[1].unicode());
        if (high < 0 || low < 0)
            throw EConvertError::NotAnInteger(pair);
        bytes.append(static_cast<char>(high * 16 + low));
    }
    return bytes;
}

bool TARPManager::StrToMACBuf(const QString& Text, uint8_t* Buffer, int32_t Length)
{
    const int32_t n = std::min<int32_t>(Length, 8);
    if (n <= 0 || !Buffer)
        return false;
    const QByteArray bytes = StrToMACBytes(Text);
    std::memset(Buffer, 0, static_cast<size_t>(n));
    std::memcpy(Buffer, bytes.constData(), static_cast<size_t>(std::min<qsizetype>(bytes.size(), n)));
    return bytes.size() == n;
}

int64_t TARPManager::MACToInt64(const QString& Text)
{
    uint8_t buffer[8] = {};
    StrToMACBuf(Text, buffer, 6);
    int64_t value;
    std::memcpy(&value, buffer, sizeof value);
    return value;
}

uint32_t TARPManager::ResolveHostName(const QString& Name)
{
    try {
        return winsock::gethostbyname(Name);
    } catch (...) {
        return 0;
    }
}

// ---------------------------------------------------------------- URLs

QString BuildURL(const QString& Host, uint16_t Port, const QString& Path)
{
    QString url = QStringLiteral("http://") + Host;
    if (Port != 80 && Port != 0)
        url += QLatin1Char(':') + QString::number(Port);
    if (!Path.startsWith(QLatin1Char('/')) && !(Host.isEmpty() && Path.isEmpty()))
        url += QLatin1Char('/');
    return url + Path;
}

bool ParseURL(const QString& URL, QString& Host, uint16_t& Port, QString& Path)
{
    Host.clear();
    Path.clear();
    Port = 80;

    qsizetype from = 0;
    qsizetype to = URL.size();
    while (from < to && URL[from].unicode() < 33)
        ++from;
    while (to > from && URL[to - 1].unicode() < 33)
        --to;
    QString rest = URL.mid(from, to - from);

    const qsizetype scheme = rest.indexOf(QLatin1String("://"));
    if (scheme >= 0) {
        const QString prefix = rest.left(scheme + 3);
        if (prefix.toUpper() != QLatin1String("HTTP://"))
            throw Exception(QStringLiteral("Invalid HTTP prefix ") + prefix);
        rest = rest.mid(scheme + 3);
    }

    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    const QString hostPart = slash >= 0 ? rest.left(slash) : rest;
    if (slash >= 0)
        Path = rest.mid(slash + 1);

    const qsizetype colon = hostPart.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
        Host = hostPart.left(colon);
        const QString portText = hostPart.mid(colon + 1);
        bool ok = false;
        const int port = portText.toInt(&ok, 10);
        if (!ok)
            throw EConvertError::NotAnInteger(portText);
        Port = static_cast<uint16_t>(port);
    } else {
        Host = hostPart;
    }
    return true;
}
