// The block's parameter record reader on arbitrary bytes from a file: it must never crash, never
// read past its line limit, keep the item count within 0 to 50, change nothing when the record
// is damaged, and what the writer makes of a record it read must read back the same.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/text/text.h"
#include "plugin/persistence.h"

namespace {

int MemoryFile(const uint8_t* data, size_t size) {
    const int fd = memfd_create("record", MFD_CLOEXEC);
    if (fd < 0 || (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size)))
        std::abort();
    lseek(fd, 0, SEEK_SET);
    return fd;
}

std::string Contents(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t got;
    for (off_t at = 0; (got = pread(fd, buffer, sizeof buffer, at)) > 0; at += got)
        text.append(buffer, static_cast<size_t>(got));
    return text;
}

void Check(bool condition) {
    if (!condition)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace virelon;
    const int fd = MemoryFile(data, size);
    TVirelonData block;
    const RecordStatus status = ReadFromFile(fd, block);
    const off_t stop = lseek(fd, 0, SEEK_CUR);
    close(fd);
    Check(stop >= 0 && static_cast<size_t>(stop) <= size);
    Check(block.Count >= 0 && block.Count <= kMaxItems);

    if (status == RecordStatus::Damaged) {
        // Nothing of a damaged record reaches the instance.
        const TVirelonData fresh;
        Check(block.Count == 0 && block.Server.empty() && block.Machine.empty());
        Check(block.DelayTime == fresh.DelayTime && block.WriteLogFile == 0);
        return 0;
    }

    // Written back and read again, the record gives the same instance and the same bytes.
    const int out = memfd_create("again", MFD_CLOEXEC);
    Check(out >= 0 && WriteToFile(out, block));
    const std::string written = Contents(out);
    lseek(out, 0, SEEK_SET);
    TVirelonData again;
    Check(ReadFromFile(out, again) == RecordStatus::Complete);
    Check(lseek(out, 0, SEEK_CUR) == static_cast<off_t>(written.size()));
    close(out);
    // Texts pass the code page once: bytes it does not define come back as its replacement, and
    // stay so from then on.
    Check(Utf16ToAnsi(again.Server) == Utf16ToAnsi(block.Server) &&
          Utf16ToAnsi(again.Machine) == Utf16ToAnsi(block.Machine));
    Check(again.Count == block.Count && again.WriteLogFile == block.WriteLogFile &&
          again.CheckServerState == block.CheckServerState && again.DelayMode == block.DelayMode &&
          again.DelayTime == block.DelayTime && again.GroupUpdateRate == block.GroupUpdateRate);
    for (int k = 0; k < block.Count; ++k)
        Check(again.ItemIDs[k] == block.ItemIDs[k]);
    const int third = memfd_create("third", MFD_CLOEXEC);
    Check(third >= 0 && WriteToFile(third, again) && Contents(third) == written);
    close(third);
    return 0;
}
