#include "vorexclient.h"

#include <QCoreApplication>

// ---------------------------------------------------------------------------
// VOREX_XML
// ---------------------------------------------------------------------------

namespace VOREX_XML {

namespace {
QString nameOf(const char* const* names, int count, long value)
{
    if (value >= 0 && value < count)
        return QString::fromLatin1(names[value]);
    return QStringLiteral("unknown(%1)").arg(value);
}

const char* const kRecordReplayModeNames[] = {
    "eRecordReplayMode_Replay", "eRecordReplayMode_Replaycontinuous", "eRecordReplayMode_Pausereplay",
    "eRecordReplayMode_Record", "eRecordReplayMode_Recordcontinuous", "eRecordReplayMode_Stop"};
const char* const kRecordReplayAllModesNames[] = {
    "eRecordReplayAllModes_Startrecord", "eRecordReplayAllModes_Record", "eRecordReplayAllModes_Recordcontinuous",
    "eRecordReplayAllModes_Recordreplaystopped", "eRecordReplayAllModes_Stopped"};
const char* const kReplayModeNames[] = {
    "eReplayMode_Stopped", "eReplayMode_Starting", "eReplayMode_Paused",
    "eReplayMode_Pausing", "eReplayMode_Running", "eReplayMode_Stopping"};
} // namespace

Admin::ModeList Admin::GetRecordReplayModes()
{
    ModeList modes;
    for (long i = 0; i < 6; ++i)
        modes.push_back(ModeEntry{i, QString::fromLatin1(kRecordReplayModeNames[i])});
    return modes;
}

QString Admin::RecordReplayModeToName(long mode) { return nameOf(kRecordReplayModeNames, 6, mode); }
QString Admin::RecordReplayAllModesToName(long mode) { return nameOf(kRecordReplayAllModesNames, 5, mode); }
QString Admin::ReplayModeToName(long mode) { return nameOf(kReplayModeNames, 6, mode); }
bool Admin::IsValidRecordReplayMode(long mode) { return mode >= 0 && mode <= 5; }
bool Admin::IsValidRecordReplayAllModes(long mode) { return mode >= 0 && mode <= 4; }
bool Admin::IsValidReplayMode(long mode) { return mode >= 0 && mode <= 5; }

VOREX_RecordData::DataRate VOREX_RecordData::NameToDataRate(const QString& name, bool* ok)
{
    const QString trimmed = name.trimmed();
    int rate = -1;
    if (trimmed.startsWith(QLatin1String("DataRate"))) {
        bool numeric = false;
        const int n = trimmed.mid(8).toInt(&numeric);
        if (numeric && DataRateToName(n) == trimmed)
            rate = n;
    } else {
        bool numeric = false;
        const int n = trimmed.toInt(&numeric);
        if (numeric && n >= 0 && n < DataRateCount)
            rate = n;
    }
    if (ok)
        *ok = rate >= 0;
    return rate >= 0 ? static_cast<DataRate>(rate) : eDataRate_0;
}

QString VOREX_RecordData::DataRateToName(int rate)
{
    if (rate < 0 || rate >= DataRateCount)
        return QString();
    return QStringLiteral("DataRate%1").arg(rate);
}

QString VOREX_RecordData::DataRateDisplayName(int rate)
{
    if (rate < 0 || rate >= DataRateCount)
        return QString();
    return QCoreApplication::translate("VOREX_RecordData", "Class %1").arg(rate);
}

quint64 VOREX_RecordData::DefaultRecordSizeLimit(int rate)
{
    static const quint64 sizes[DataRateCount] = {
        262144ull, 20971520ull, 1310720ull, 108003328ull, 41943040ull, 62914560ull, 216006656ull, 324009984ull,
        408944640ull, 125000ull, 2560000ull, 50331648ull, 639631360ull, 1279262720ull, 2558525440ull, 5120000ull};
    if (rate < 0 || rate >= DataRateCount)
        return 0;
    return sizes[rate];
}

VOREX_RecordData::VOREX_RecordData(const QString& recordId, const QString& recordName)
    : m_strRecordId(recordId), m_strRecordName(recordName)
{
}

} // namespace VOREX_XML

// ---------------------------------------------------------------------------
// vorex
// ---------------------------------------------------------------------------

namespace vorex {

QString RecordIdentifier::toString() const
{
    return m_subSystem + QLatin1Char('/') + m_deviceId + QLatin1Char('/') + m_recordId;
}

void registerMetaTypes()
{
    qRegisterMetaType<vorex::RecordIdentifier>("vorex::RecordIdentifier");
    qRegisterMetaType<vorex::RecordIdentifierList>("vorex::RecordIdentifierList");
    qRegisterMetaType<VOREX_XML::BookmarkEntry>("VOREX_XML::BookmarkEntry");
    qRegisterMetaType<QVector<VOREX_XML::BookmarkEntry>>("QVector<VOREX_XML::BookmarkEntry>");
}

namespace {
struct MetaTypeRegistration
{
    MetaTypeRegistration() { registerMetaTypes(); }
} g_metaTypeRegistration;
} // namespace

} // namespace vorex

