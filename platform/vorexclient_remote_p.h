#pragma once

// Pieces of the remote link that the tests reach: the process's ORB, the
// TypeCodes of the declarations the link marshals by hand, and the
// conversions between them and the client library's record data.
//
// Only dynamic interfaces here: typed stubs of the same declarations live in
// the plug-in module, and a second typed copy would take over their proxy
// factories.

#include "platform_export.h"
#include "vorexclient.h"

#include <omniORB4/CORBA.h>

#include <QString>
#include <QVector>

namespace VorexRemote {

// The ORB of the process (initialised once, with the protocol's options) and
// its root POA, active.
VRXPLATFORM_EXPORT CORBA::ORB_ptr Orb();
VRXPLATFORM_EXPORT PortableServer::POA_ptr RootPoa();
VRXPLATFORM_EXPORT void ShutdownOrbNow();

struct VRXPLATFORM_EXPORT TypeCodes
{
    static const TypeCodes& Get();

    CORBA::TypeCode_var notificationType, redundancyType, resolveType, notificationFilterSeq, ccoStringSeq;
    CORBA::TypeCode_var receiverKind, dataRateClass, dataFormat, recordState, exGenCode;
    CORBA::TypeCode_var recordSegment, bookmarkItem, historyItem, recordInfo;
    CORBA::TypeCode_var stringSeq, ulongSeq, receiverSettingSeq, receiverSettingNGSeq;
    CORBA::TypeCode_var bookmarkItemSeq, historyItemSeq, recordInfoSeq;
    CORBA::TypeCode_var exGen, exChan, exVRX, exAdmin, exChanMan, invalidName, alreadyBound;
};

// An Any of the enumeration `tc` holding `value`, and back.
VRXPLATFORM_EXPORT CORBA::Any EnumAny(CORBA::TypeCode_ptr tc, CORBA::ULong value);
VRXPLATFORM_EXPORT CORBA::ULong EnumFromAny(const CORBA::Any& any);
// The default value of any type (empty sequence, zero, first enumerator).
VRXPLATFORM_EXPORT CORBA::Any DefaultAny(CORBA::TypeCode_ptr tc);

VRXPLATFORM_EXPORT CORBA::Any BookmarksToAny(const QVector<VOREX_XML::BookmarkEntry>& entries);
VRXPLATFORM_EXPORT QVector<VOREX_XML::BookmarkEntry> BookmarksFromAny(const CORBA::Any& any);
VRXPLATFORM_EXPORT CORBA::Any RecordToAny(const VOREX_XML::VOREX_RecordData& record);
VRXPLATFORM_EXPORT VOREX_XML::VOREX_RecordData RecordFromAny(const CORBA::Any& any);
VRXPLATFORM_EXPORT std::vector<VOREX_XML::VOREX_RecordData> RecordsFromAny(const CORBA::Any& any);

// "free=<bytes> total=<bytes>" and the like: the words' values by key.
VRXPLATFORM_EXPORT bool ParseSpace(const QString& text, quint64& freeBytes, quint64& totalBytes);

} // namespace VorexRemote
