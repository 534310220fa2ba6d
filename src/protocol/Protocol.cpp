#include "Protocol.h"

#include <filesystem>
#include <functional>

#include "core/Records.h"
#include "core/TData.h"
#include "core/TDataList.h"
#include "core/TGate.h"

namespace orvala {

namespace {
constexpr char Tag[4] = {' ', 'O', 'R', 'P'};
constexpr int32_t ProtocolVersion = 1;
}  // namespace

void SaveProtocol(TData& base, const std::string& filename)
{
    namespace fs = std::filesystem;
    const std::string temp = filename + ".part";
    try {
        {
            FileStream s(temp, FileStream::Mode::Write);
            s.write(Tag, 4);
            WriteInt(s, ProtocolVersion);
            std::function<void(const TData&, int)> walk = [&](const TData& parent, int depth) {
                for (TData* kid : parent.Kids()) {
                    if (!kid->gate) continue;
                    WriteInt(s, depth);
                    SaveGateToStream(s, *kid->gate);
                    walk(*kid, depth + 1);
                }
            };
            walk(base, 0);
            s.close();
        }
        fs::rename(temp, filename);
    } catch (const std::exception&) {
        std::error_code ec;
        fs::remove(temp, ec);
        throw OrvalaError("Can not create file: " + filename);
    }
}

std::vector<TData*> LoadProtocol(TData& base, const std::string& filename, TDataList& workspace)
{
    FileStream s(filename, FileStream::Mode::Read);
    char tag[4] = {};
    const size_t got = s.read(tag, 4);
    if (got == 4 && !std::equal(tag, tag + 4, Tag)) throw OrvalaError("File " + filename + " is not protocol file");
    if (got < 4) throw StreamReadError();
    ReadInt(s);  // the version is not checked
    std::vector<TData*> made;
    if (s.bytesLeft() == 0) return made;
    if (ReadInt(s) != 0) throw OrvalaError("Error in protocol file");

    // parents[d]: the data set gates of depth d are applied under (null when
    // the gate above did not fit: its subtree then yields nothing).
    std::vector<TData*> parents{&base};
    int d = 0;
    try {
        while (s.bytesLeft() > 0) {
            std::unique_ptr<TGate> gate = LoadGateFromStream(s);
            if (!gate) break;
            TData* D = parents[size_t(d)] ? TData::Gated(parents[size_t(d)], gate.get()) : nullptr;
            if (D) {
                workspace.Add(D);
                made.push_back(D);
            }
            if (s.bytesLeft() == 0) break;
            const int32_t q = ReadInt(s);
            if (q < 0 || q > d + 1) break;  // a depth can only go one level down
            if (q > d) {
                parents.resize(size_t(q) + 1);
                parents[size_t(q)] = D;
            }
            d = q;
        }
    } catch (const std::exception&) {
        // A damaged record ends the replay; what was made stays.
    }
    return made;
}

}  // namespace orvala
