#include "engine/RunHistory.h"

#include <algorithm>
#include <memory>

#include "engine/RunJournal.h"
#include "engine/RunObserver.h"
#include "engine/Sha256.h"
#include "framework/FileError.h"
#include "framework/FileOperations.h"
#include "framework/FileReplacement.h"
#include "framework/FileTimes.h"
#include "framework/PathSyntax.h"
#include "framework/TFile.h"
#include "framework/TFileName.h"
#include "framework/TFolder.h"

namespace {

constexpr size_t kBlock = 256 * 1024;
constexpr uint64_t kMaxJournal = 256u << 20;

bool ReadAll(TFile& file, std::string& text) {
    FileStamp stamp;
    if (!file.GetStamp(stamp) || stamp.size > kMaxJournal)
        return false;
    text.resize(static_cast<size_t>(stamp.size));
    for (size_t at = 0; at < text.size();) {
        long long n = file.ReadAt(at, &text[at], text.size() - at);
        if (n <= 0)
            return false;
        at += static_cast<size_t>(n);
    }
    return true;
}

std::string HashOf(TFile& file) {
    std::string hex;
    return HashFile(file, hex) ? hex : std::string();
}

bool ToNumber(const std::string& text, uint64_t& value) {
    if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoull(text);
    return true;
}

bool ToSigned(const std::string& text, int64_t& value) {
    uint64_t magnitude;
    const bool negative = !text.empty() && text[0] == '-';
    if (!ToNumber(negative ? text.substr(1) : text, magnitude) || magnitude > uint64_t(INT64_MAX))
        return false;
    value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

// One changed file of a journal.
struct Entry {
    bool touch = false;
    std::string number;  // of its old content, Find
    std::string path;
    FileStamp stamp;  // what the run left
    bool timeKnown = true;
    std::string hash;     // of what the run left, Find
    FileStamp kept;       // the old content the journal keeps, Find
    std::string keptHash;
    bool keptLinked = false;  // the old file itself, which can be moved back
    int64_t oldTime = 0;  // Touch: the old time as the file's stamp had it
    int64_t touched = 0;  // and the time it set, in time value ticks
};

// The journal's lines as a record and its entries; false when it cannot be read whole.
bool ReadJournal(const TFolder& run, RunRecord& record, std::vector<Entry>& entries) {
    TFile file;
    std::string text;
    if (!file.OpenIn(run, "journal") || !ReadAll(file, text) ||
        text.rfind("scrivox-journal\t1\n", 0) != 0)
        return false;
    std::vector<std::string> f;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1) {
        if (!ParseJournalLine(text.substr(start, end - start), f))
            return false;
        Entry e;
        uint64_t n;
        if (f[0] == "time" && f.size() == 2 && ToSigned(f[1], record.time)) {
        } else if (f[0] == "folder" && f.size() == 2) {
            record.folder = f[1];
        } else if (f[0] == "filter" && f.size() == 2) {
            record.filter = f[1];
        } else if (f[0] == "action" && f.size() == 2) {
            record.action = f[1];
        } else if (f[0] == "find" && f.size() == 2) {
            record.findText = f[1];
        } else if (f[0] == "replace" && f.size() == 2) {
            record.replaceText = f[1];
        } else if (f[0] == "file" && f.size() == 13 && ToNumber(f[1], n) &&
                   ToNumber(f[3], e.stamp.identity.device) &&
                   ToNumber(f[4], e.stamp.identity.index) && ToNumber(f[5], e.stamp.size) &&
                   (f[6] == "-" || ToSigned(f[6], e.stamp.lastWrite)) && f[7].size() == 64 &&
                   ToNumber(f[8], e.kept.identity.device) &&
                   ToNumber(f[9], e.kept.identity.index) && ToNumber(f[10], e.kept.size) &&
                   f[11].size() == 64 && (f[12] == "link" || f[12] == "copy")) {
            e.number = f[1];
            e.path = f[2];
            e.timeKnown = f[6] != "-";
            e.hash = f[7];
            e.keptHash = f[11];
            e.keptLinked = f[12] == "link";
            entries.push_back(e);
        } else if (f[0] == "touch" && f.size() == 7 && ToNumber(f[2], e.stamp.identity.device) &&
                   ToNumber(f[3], e.stamp.identity.index) && ToNumber(f[4], e.stamp.size) &&
                   ToSigned(f[5], e.oldTime) && ToSigned(f[6], e.touched)) {
            e.touch = true;
            e.path = f[1];
            entries.push_back(e);
        } else if (f[0] == "end" && f.size() == 3 && ToNumber(f[2], record.keptBytes)) {
            record.ended = true;
        } else if (f[0] != "scrivox-journal") {
            return false;
        }
    }
    record.files = static_cast<int64_t>(entries.size());
    return true;
}

// The folder and the name of an absolute path.
bool Split(const std::string& path, std::string& folder, std::string& name) {
    size_t at = path.size();
    while (at > 0 && !IsPathSeparator(path[at - 1]))
        --at;
    if (at == 0 || at == path.size())
        return false;
    folder = path.substr(0, at);
    name = path.substr(at);
    return true;
}

enum class Restore { Done, Changed, Failed, KeptContentDamaged, NotChangedByTheRun };

Restore RestoreFile(const Entry& e, const TFolder& old, bool preview) {
    std::string folderPath, name;
    TFolder folder;
    TFile current;
    FileStamp now;
    if (!Split(e.path, folderPath, name) || !folder.OpenWithoutLinks(folderPath))
        return Restore::Failed;
    if (!current.OpenIn(folder, name.c_str()) || !current.GetStamp(now))
        return Restore::Changed;
    const bool same = now.identity == e.stamp.identity && now.size == e.stamp.size;
    if (e.touch) {
        if (same && now.lastWrite == e.oldTime && LastWriteOf(now).ticks != e.touched)
            return Restore::NotChangedByTheRun;  // not touched after all
        if (!same || LastWriteOf(now).ticks != e.touched)
            return Restore::Changed;
        TFileName file(e.path);
        file.SetFoundIn(&folder, now.identity);
        // Windows sets a time only on a file that nobody else holds open, this program included.
        current = TFile();
        return preview || SetLastWriteStamp(file, e.oldTime) ? Restore::Done
                                                                     : Restore::Failed;
    }
    // Its content and stamp as the run left them; not necessarily the same file: the undo of a
    // later run gives back this run's content in a file of its own where it had to copy it.
    const bool asLeft =
        now.size == e.stamp.size && (!e.timeKnown || now.lastWrite == e.stamp.lastWrite);
    // The kept old content must be what the run kept, or nothing is written from it.
    TFile model;
    FileStamp kept;
    if (!model.OpenIn(old, e.number.c_str()) || !model.GetStamp(kept) ||
        !(kept.identity == e.kept.identity) || kept.size != e.kept.size)
        return Restore::KeptContentDamaged;
    if (!asLeft || HashOf(current) != e.hash) {
        // A run stopped before this file's new content took its place left it as it was.
        return kept.size == now.size && HashOf(current) == e.keptHash
                   ? Restore::NotChangedByTheRun
                   : Restore::Changed;
    }
    if (preview)
        return Restore::Done;
    TFileName file(e.path);
    file.SetFoundIn(&folder, now.identity);
    TFileReplacement replacement;
    replacement.KeepLastWriteTime(true);  // the model's: the old file's own
    if (!replacement.Begin(file, current, &model))
        return Restore::Failed;
    // The old file itself goes back where it was, with everything it had, nothing copied; a
    // file of several names keeps its own and gets the old content in place.
    if (e.keptLinked && !replacement.InPlace()) {
        if (HashOf(model) != e.keptHash)
            return Restore::KeptContentDamaged;
        if (!model.Sync())
            return Restore::Failed;
        // Windows renames over no file that is open, nor a file of its own that is.
        current = TFile();
        model = TFile();
        return MoveFileBetween(old, e.number, folder, name) && folder.Sync()
                   ? Restore::Done
                   : Restore::Failed;
    }
    // Nothing is put in place unless it is, byte for byte, what the run kept.
    Sha256 hash;
    std::unique_ptr<char[]> block(new char[kBlock]);
    for (uint64_t at = 0;;) {
        long long n = model.ReadAt(at, block.get(), kBlock);
        if (n < 0)
            return Restore::Failed;
        if (n == 0)
            break;
        hash.Update(block.get(), static_cast<size_t>(n));
        if (!replacement.Write(block.get(), static_cast<size_t>(n)))
            return Restore::Failed;
        at += static_cast<uint64_t>(n);
    }
    if (ToHex(hash.Final()) != e.keptHash)
        return Restore::KeptContentDamaged;
    current = TFile();  // a file rewritten in place is opened without sharing, on Windows
    return replacement.Commit() ? Restore::Done : Restore::Failed;
}

}  // namespace

std::vector<RunRecord> ListRuns(const TFolder& runs) {
    std::vector<RunRecord> records;
    (void)runs.List();
    for (size_t i = 0; i < runs.EntryCount(); ++i) {
        TFolder run;
        if (!runs.EntryIsFolder(i) || !run.OpenSubfolder(runs, runs.EntryName(i)))
            continue;
        RunRecord record;
        record.id = runs.EntryName(i);
        std::vector<Entry> entries;
        record.damaged = !ReadJournal(run, record, entries);
        TFile marker;
        record.undone = marker.OpenIn(run, "undone");
        records.push_back(record);
    }
    std::sort(records.begin(), records.end(),
              [](const RunRecord& a, const RunRecord& b) { return a.id < b.id; });
    return records;
}

std::vector<KeptRun> KeptRuns(const TFolder& runs) {
    std::vector<KeptRun> kept;
    (void)runs.List();
    for (size_t i = 0; i < runs.EntryCount(); ++i) {
        TFolder run;
        if (!runs.EntryIsFolder(i) || !run.OpenSubfolder(runs, runs.EntryName(i)))
            continue;
        KeptRun k;
        k.id = runs.EntryName(i);
        // The end line, the journal's last, tells what old content the run keeps; a run that
        // has none (stopped, or damaged) is counted as keeping none, as a full reading would.
        // The journal itself counts too: a Touch of a million files keeps no content, but a
        // journal of a hundred megabytes.
        TFile file;
        FileStamp stamp;
        if (file.OpenIn(run, "journal") && file.GetStamp(stamp) && stamp.size > 0) {
            k.keptBytes = stamp.size;
            constexpr uint64_t kTail = 256;
            const uint64_t from = stamp.size > kTail ? stamp.size - kTail : 0;
            std::string tail(static_cast<size_t>(stamp.size - from), '\0');
            const long long n = file.ReadAt(from, &tail[0], tail.size());
            if (n == static_cast<long long>(tail.size()) && tail.back() == '\n') {
                tail.pop_back();
                const size_t start = tail.rfind('\n');
                std::vector<std::string> f;
                uint64_t bytes = 0;
                if (start != std::string::npos && ParseJournalLine(tail.substr(start + 1), f) &&
                    f.size() == 3 && f[0] == "end" && ToNumber(f[2], bytes))
                    k.keptBytes += bytes;
            }
        }
        kept.push_back(k);
    }
    std::sort(kept.begin(), kept.end(),
              [](const KeptRun& a, const KeptRun& b) { return a.id < b.id; });
    return kept;
}

std::vector<RunRecord> ListRuns() {
    TFolder runs;
    const std::string folder = RunsFolder();
    return !folder.empty() && runs.OpenPrivate(folder) ? ListRuns(runs)
                                                        : std::vector<RunRecord>();
}

UndoOutcome UndoRun(const std::string& id, bool preview, RunObserver* observer) {
    UndoOutcome outcome;
    TFolder runs, run, old;
    const std::string folder = RunsFolder();
    if (folder.empty() || !runs.OpenPrivate(folder)) {
        outcome.refusal = "no runs are kept";
        return outcome;
    }
    const std::vector<RunRecord> records = ListRuns(runs);
    auto it = std::find_if(records.rbegin(), records.rend(), [&](const RunRecord& r) {
        return id.empty() ? !r.undone && !r.damaged : r.id == id;
    });
    if (it == records.rend()) {
        outcome.refusal = id.empty() ? "no run to undo" : "no run " + id + " is kept";
        return outcome;
    }
    outcome.id = it->id;
    RunRecord record;
    std::vector<Entry> entries;
    if (it->undone) {
        outcome.refusal = "run " + it->id + " is undone already";
        return outcome;
    }
    if (it->damaged || !run.OpenSubfolder(runs, it->id.c_str()) ||
        !ReadJournal(run, record, entries) || !old.OpenSubfolder(run, "old")) {
        outcome.refusal = "the journal of run " + it->id + " is damaged: nothing was restored";
        return outcome;
    }
    // The latest change first: a file a run changed twice gets back what it had first.
    for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
        ClearFileError();
        switch (RestoreFile(*e, old, preview)) {
            case Restore::Done:
                ++outcome.restored;
                if (observer)
                    observer->FileChanged(e->path, 0);
                break;
            case Restore::Changed:
                ++outcome.leftChanged;
                if (observer)
                    observer->Failed(e->path, "changed since the run; left as it is");
                break;
            case Restore::Failed:
                ++outcome.failed;
                if (observer)
                    observer->Failed(e->path, DescribeFileError("cannot be restored"));
                break;
            case Restore::KeptContentDamaged:
                ++outcome.failed;
                if (observer)
                    observer->Failed(e->path,
                                     "the journal's old content is not what the run kept; left "
                                     "as it is");
                break;
            case Restore::NotChangedByTheRun:
                break;
        }
    }
    TFile marker;
    if (!preview && marker.CreateIn(run, "undone")) {
        const std::string counts = std::to_string(outcome.restored) + "\t" +
                                   std::to_string(outcome.leftChanged) + "\n";
        (void)marker.WriteAll(counts.data(), counts.size());
        (void)marker.Sync();
    }
    return outcome;
}
