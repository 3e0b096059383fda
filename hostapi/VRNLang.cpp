#include "VRNLang.h"

#include "OwnedText.h"
#include "QVException.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

#include <array>
#include <map>

namespace hostapi {

namespace {

constexpr int LanguageCount = 4;

std::atomic<int> GCurrentLanguage{0};

struct ListenerRegistry {
    QMutex Lock;
    int NextId = 1;
    std::map<int, TVRNLang::LanguageListener> Listeners; // ordered by id = order of adding
};

ListenerRegistry& Listeners() {
    static ListenerRegistry registry;
    return registry;
}

QString Unescape(const QString& text, const QString& source, int lineNo) {
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\\')) {
            result += c;
            continue;
        }
        if (i + 1 >= text.size())
            throw EQVException(
                QStringLiteral("%1, line %2: a text ends with a single backslash").arg(source).arg(lineNo));
        const QChar next = text.at(++i);
        if (next == QLatin1Char('n'))
            result += QLatin1Char('\n');
        else if (next == QLatin1Char('t'))
            result += QLatin1Char('\t');
        else if (next == QLatin1Char('\\'))
            result += QLatin1Char('\\');
        else
            throw EQVException(
                QStringLiteral("%1, line %2: unknown escape \"\\%3\"").arg(source).arg(lineNo).arg(next));
    }
    return result;
}

} // namespace

struct TVRNLang::Table {
    QHash<QString, std::array<QString, LanguageCount>> Texts;
};

// Tables are immutable once parsed and shared by every component of the unit.
std::shared_ptr<const TVRNLang::Table> TVRNLang::LoadTable(const QString& unitName) {
    static QMutex lock;
    static QHash<QString, std::shared_ptr<const TVRNLang::Table>> cache;
    QMutexLocker locker(&lock);
    if (auto it = cache.constFind(unitName); it != cache.constEnd())
        return it.value();
    const QString path = QStringLiteral(":/translations/%1.tsv").arg(unitName);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EQVException(QStringLiteral("Translation table %1 not found").arg(path));
    auto table = ParseTable(file.readAll(), path);
    // The cache outlives the module that asked: its key must not point into the module's code.
    cache.insert(OwnedCopy(unitName), table);
    return table;
}

std::shared_ptr<const TVRNLang::Table> TVRNLang::ParseTable(const QByteArray& data, const QString& source) {
    auto table = std::make_shared<Table>();
    const QString text = QString::fromUtf8(data);
    const QStringList lines = text.split(QLatin1Char('\n'));
    bool headerSeen = false;
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        QString line = lines.at(i);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList columns = line.split(QLatin1Char('\t'));
        if (!headerSeen) {
            if (line != QLatin1String("id\tde\ten\tfr\tit"))
                throw EQVException(
                    QStringLiteral("%1, line %2: header \"id<TAB>de<TAB>en<TAB>fr<TAB>it\" expected")
                        .arg(source)
                        .arg(lineNo));
            headerSeen = true;
            continue;
        }
        if (columns.size() > LanguageCount + 1)
            throw EQVException(
                QStringLiteral("%1, line %2: more than %3 texts").arg(source).arg(lineNo).arg(LanguageCount));
        const QString id = columns.at(0).trimmed();
        if (id.isEmpty())
            throw EQVException(QStringLiteral("%1, line %2: text without id").arg(source).arg(lineNo));
        if (table->Texts.contains(id))
            throw EQVException(
                QStringLiteral("%1, line %2: id %3 occurs twice").arg(source).arg(lineNo).arg(id));
        std::array<QString, LanguageCount> texts;
        for (int lang = 0; lang < LanguageCount && lang + 1 < columns.size(); ++lang)
            texts[lang] = Unescape(columns.at(lang + 1), source, lineNo);
        if (texts[0].isEmpty())
            throw EQVException(
                QStringLiteral("%1, line %2: id %3 has no German text").arg(source).arg(lineNo).arg(id));
        table->Texts.insert(id, texts);
    }
    if (!headerSeen)
        throw EQVException(QStringLiteral("%1: header line missing").arg(source));
    return table;
}

const QStringList& TVRNLang::LanguageNames() {
    static const QStringList names{QStringLiteral("German"), QStringLiteral("English"),
                                   QStringLiteral("French"), QStringLiteral("Italian")};
    return names;
}

QString TVRNLang::LanguageDisplayName(const QString& ALangName) {
    static const std::array<QString, LanguageCount> names{
        QStringLiteral("Deutsch"), QStringLiteral("English"), QStringLiteral("Français"),
        QStringLiteral("Italiano")};
    return names[LanguageIndex(ALangName)];
}

int TVRNLang::LanguageIndex(const QString& ALangName) {
    const QStringList& names = LanguageNames();
    for (int i = 0; i < names.size(); ++i)
        if (names.at(i).compare(ALangName, Qt::CaseInsensitive) == 0)
            return i;
    throw EQVException(QStringLiteral("Unknown language \"%1\"").arg(ALangName));
}

TVRNLang::TVRNLang(const QString& AUnitName)
    : FUnitName(OwnedCopy(AUnitName)), FTable(LoadTable(AUnitName)), FLanguage(GCurrentLanguage.load()) {}

TVRNLang::~TVRNLang() = default;

QString TVRNLang::UnitName() const {
    return FUnitName;
}

QString TVRNLang::Language() const {
    return LanguageNames().at(FLanguage.load());
}

void TVRNLang::SetLanguage(const QString& ALangName) {
    FLanguage.store(LanguageIndex(ALangName));
}

QString TVRNLang::Text(const QString& AId) const {
    return TextIn(AId, Language());
}

QString TVRNLang::TextIn(const QString& AId, const QString& ALangName) const {
    const int lang = LanguageIndex(ALangName);
    const auto it = FTable->Texts.constFind(AId);
    if (it == FTable->Texts.constEnd())
        throw EQVException(QStringLiteral("Text %1 missing in the translations of %2").arg(AId, FUnitName));
    const QString& text = it.value()[lang];
    return text.isEmpty() ? it.value()[0] : text;
}

bool TVRNLang::HasText(const QString& AId) const {
    return FTable->Texts.contains(AId);
}

QString TVRNLang::CurrentLanguage() {
    return LanguageNames().at(GCurrentLanguage.load());
}

void TVRNLang::SetCurrentLanguage(const QString& ALangName) {
    const int lang = LanguageIndex(ALangName);
    QV_ASSERT(!QCoreApplication::instance() ||
              QThread::currentThread() == QCoreApplication::instance()->thread());
    GCurrentLanguage.store(lang);
    std::vector<LanguageListener> listeners;
    {
        ListenerRegistry& registry = Listeners();
        QMutexLocker locker(&registry.Lock);
        for (const auto& [id, listener] : registry.Listeners)
            listeners.push_back(listener);
    }
    const QString name = LanguageNames().at(lang);
    std::exception_ptr first;
    for (const LanguageListener& listener : listeners) {
        try {
            listener(name);
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
    }
    if (first)
        std::rethrow_exception(first);
}

int TVRNLang::AddLanguageListener(LanguageListener AListener) {
    QV_ASSERT(AListener);
    ListenerRegistry& registry = Listeners();
    QMutexLocker locker(&registry.Lock);
    const int id = registry.NextId++;
    registry.Listeners.emplace(id, std::move(AListener));
    return id;
}

void TVRNLang::RemoveLanguageListener(int AId) {
    ListenerRegistry& registry = Listeners();
    QMutexLocker locker(&registry.Lock);
    registry.Listeners.erase(AId);
}

} // namespace hostapi
