#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "CellDatabase.h"
#include "DailyQuota.h"
#include "GeoData.h"
#include "TowerIndex.h"

struct HttpReply {
    int status = 200;
    std::string contentType = "text/plain";
    std::string body;
    // Instead of body: a large one that stays shared with where it is kept (a BTS database).
    std::shared_ptr<const std::string> sharedBody;

    const std::string& Body() const { return sharedBody ? *sharedBody : body; }
};

// The reference cell-position service: answers
//   .../GsmQuery?keyName=K&hash=H&networkCode=NC&lac=L&cellId=C
// with the data-contract XML reply; serves each network's BTS database, written from its
// cells, under /gsmdb/<network id>.csv, files under /files/ and a map of the position with the
// loaded towers under /map.
class RefService {
public:
    enum {
        Ok = 0,
        BadAccessCode = 1,
        MalformedRequest = 2,
        QuotaExceeded = 3,
        CellNotFound = 1001
    };

    CellDatabase& Cells() { return cells; }
    // quota: requests per day and key; negative is unlimited.
    void AddKey(const std::string& keyName, const std::string& accessCode, int quota = -1);
    // Lines "keyName;accessCode[;quota]"; '#' starts a comment. False when unreadable.
    bool LoadKeys(const std::wstring& path);
    // Files under /files/: only plain files inside the folder, never a device.
    void SetFilesFolder(const std::wstring& folder) { filesFolder = folder; }
    // The map file (GeoData); without one the map has no water, borders or places.
    GeoData& Geo() { return geo; }
    // Places the loaded cells on the map; the first map after a load does it too. Returns
    // the index's bytes.
    size_t IndexTowers();

    // target: the request target, origin-form or absolute-form. A BTS database comes in
    // sharedBody, shared with the copy kept; the servers send it from there.
    HttpReply Answer(const std::string& target);
    // The same with the whole body in body.
    HttpReply Handle(const std::string& target);

    // base64url(MD5(accessCode + cellId)) without padding.
    static std::string ExpectedHash(const std::string& accessCode, const std::string& cellId);
    static std::string Reply(int code, const CellDatabase::Position* position);

private:
    struct Key {
        std::string accessCode;
        DailyQuota quota;
    };
    HttpReply Query(const std::map<std::string, std::string>& query);
    HttpReply File(const std::string& name);
    HttpReply Map(const std::map<std::string, std::string>& query);

    CellDatabase cells;
    std::map<std::string, Key> keys;
    std::wstring filesFolder;
    std::mutex lock;
    GeoData geo;
    TowerIndex towers;
    size_t indexedCells = 0;
    std::mutex towersLock;
};
