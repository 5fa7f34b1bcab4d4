#pragma once

// The recorder manager's persistent records: one folder, one file per record,
// so that records outlive the manager's process.
//
// Folder layout (everything flat in the data folder):
//   REC-0001.json   one record; the name is the record ID and nothing else
//   manager.json    the manager's own counters
//   manager.lock    held while a store has the folder open (QLockFile)
//   .tmp-<target>-<pid>-<n>
//                   a write in progress; one left behind was cut short by a
//                   crash and never counts as data
//
// Record file (UTF-8 JSON object, written by QJsonDocument):
//   { "format": "vrx-record", "version": 1,
//     "recordId": "REC-0001", "deviceId": "Dev1", "name": "...",
//     "status": 5, "dataFormat": 1, "dataRate": 3,            (numbers)
//     "startTime": "...", "stopTime": "...", "startPosition": "...",
//     "stopPosition": "...", "size": "...",                    (decimal text)
//     "index":     [ { "time": "...", "offset": "..." }, ... ],
//     "bookmarks": [ { "time": "...", "text": "..." }, ... ],
//     "history":   [ { "time": "...", "text": "..." }, ... ] }
// 64-bit values are decimal text: a JSON number is a double and would lose
// microseconds beyond 2^53. Texts are stored as they are (JSON escapes NUL,
// control characters and lone surrogates), so they come back exactly.
//
// Counters file: { "format": "vrx-manager-state", "version": 1,
//                  "nextRecordNumber": 42 }
// The next record number handed out after a restart is the larger of this
// counter and one past the highest record number found among the file names
// (damaged files and leftovers included): a number is never reused, and a
// file kept for inspection is never overwritten by a new record.
//
// Durability: each write goes to a temporary file in the folder, is fsync'ed,
// renamed over its target and the folder is fsync'ed; a save reports success
// only after all of that. A crash at any moment leaves the old or the new
// complete file.
//
// What the store does not recognise as its own, or cannot read, is reported
// as a problem and left alone: never loaded, never deleted, never replaced
// (saving or removing a record whose file was reported is refused).
//
// File names are built only from record IDs of the manager's own pattern:
// "REC-" and the number, zero-padded to four digits, exactly as the manager
// spells it (1 to INT_MAX; "REC-00007" is not record 7). Device IDs are held
// to [A-Za-z0-9][A-Za-z0-9_-]*, at most 64 characters, although they never
// become file names. Names and texts are data and are length-limited only.
//
// Threads: not thread-safe. One owner thread calls every member (or the
// owner serialises the calls). Across processes the lock file keeps a second
// store out of an open folder.

#include "vorexclient.h"

#include <QLockFile>
#include <QMap>
#include <QSet>
#include <QString>
#include <QVector>

#include <memory>

namespace VorexSim {

class RecordStore
{
public:
    // Limits, in UTF-16 code units. A save beyond them is refused; a file
    // beyond them is reported as inconsistent.
    static constexpr int MaxNameLength = 4096;      // record name
    static constexpr int MaxTextLength = 64 * 1024; // one bookmark text or history line
    // A record file larger than this is refused on save and not read at load.
    static constexpr qint64 MaxFileBytes = 16 * 1024 * 1024;
    static constexpr int MaxDeviceIdLength = 64;

    struct Problem
    {
        enum Kind {
            Damaged,      // a record or counters file of ours that does not parse
            Foreign,      // not a file of this store (other name, format, version, type)
            Inconsistent, // parses, but its content contradicts itself or its name
            Leftover      // temporary file of a write that a crash interrupted
        };
        Kind kind = Damaged;
        QString fileName; // inside the data folder
        QString reason;
    };

    struct Contents
    {
        // Device ID -> its records in record ID order.
        QMap<QString, QVector<VOREX_XML::VOREX_RecordData>> recordsByDevice;
        int nextRecordNumber = 1;
        QVector<Problem> problems;
    };

    explicit RecordStore(const QString& dataFolder);
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    QString dataFolder() const { return m_folder; }

    // Creates the folder if needed, takes its lock and reads it. False (with
    // `error`) when the folder cannot be made or another store holds it; the
    // problems found in an otherwise readable folder do not make it fail.
    bool open(Contents* contents, QString* error = nullptr);
    bool isOpen() const { return m_open; }
    // Releases the lock; open() may be called again.
    void close();

    // Inserts or replaces the record `record.GetRecordID()` of `deviceId`
    // (the record's own device ID is not looked at; loading gives it back as
    // `deviceId`). True once the data is durable.
    bool saveRecord(const QString& deviceId, const VOREX_XML::VOREX_RecordData& record, QString* error = nullptr);
    // Removes the record durably; a record that is not stored is no error.
    bool removeRecord(const QString& recordId, QString* error = nullptr);
    // Stores the number the manager hands out next (at least 1).
    bool saveNextRecordNumber(int next, QString* error = nullptr);
    // Deletes the leftover temporary files of interrupted writes (only names
    // of this store's temporary pattern); returns how many went.
    int removeLeftovers();

    // The manager's ID patterns.
    static bool isValidRecordId(const QString& recordId);
    static bool isValidDeviceId(const QString& deviceId);
    // "REC-0007" for 7; the number of a valid ID, 0 otherwise.
    static QString recordIdForNumber(int number);
    static int recordNumber(const QString& recordId);

private:
    bool checkWritable(const QString& fileName, QString* error) const;
    bool writeFile(const QString& fileName, const QByteArray& data, QString* error);
    bool syncFolder(QString* error) const;
    void readRecordFile(const QString& fileName, Contents* contents);
    void readCountersFile(Contents* contents, int* counter);
    QString path(const QString& fileName) const;

    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    bool m_open = false;
    // Files reported at open() under a record's or the counters' name.
    QSet<QString> m_keptFiles;
    quint64 m_tempSerial = 0;
};

} // namespace VorexSim
