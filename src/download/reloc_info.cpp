#include "download/reloc_info.h"

#include <unistd.h>

namespace plover {

void CRelocInfo::CloseFiles() {
    if (sourceFd >= 0) ::close(sourceFd);
    if (targetFd >= 0) ::close(targetFd);
    sourceFd = targetFd = -1;
    if (!partPath.empty()) ::unlink(partPath.c_str());
    partPath.clear();
}

}  // namespace plover
