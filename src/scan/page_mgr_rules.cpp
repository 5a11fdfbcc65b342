#include "scan/page_mgr_rules.h"

namespace plover {

ECachedAnswer DecideCachedRequest(int32_t mode, bool reload, bool ageKnown, int64_t ageSeconds, bool hasLastModified) {
    if (reload) return ECachedAnswer::DeleteAndFetch;
    switch (mode) {
        case CACHE_NEVER: return ECachedAnswer::UseStored;
        case CACHE_AUTOMATICALLY:
            if (!ageKnown || ageSeconds / 3600 <= kFreshHours) return ECachedAnswer::UseStored;
            return hasLastModified ? ECachedAnswer::Revalidate : ECachedAnswer::FetchKeepRow;
        case CACHE_EVERY_VISIT:
        default: return ECachedAnswer::FetchKeepRow;
    }
}

SFetchOutcome ClassifyDownloadEvent(DownloadStatus status, DownloadStatus superStatus, uint32_t downloaded) {
    switch (status) {
        case DS_FINISHED:
            if (downloaded == 0) return {EFetchOutcome::Failed, DS_FAILED};
            return {EFetchOutcome::Finished, status};
        case DS_NOT_MODIFIED: return {EFetchOutcome::NotModified, status};
        case DS_DELETED: return {EFetchOutcome::Removed, status};
        case DS_WAIT_FOR_USER:
            if (superStatus == DS_UNAUTHORIZED) return {EFetchOutcome::Waiting, status};
            if (superStatus != DS_NONE) return {EFetchOutcome::Failed, superStatus};
            return {};
        default: break;
    }
    if (IsFailedStatus(status)) return {EFetchOutcome::Failed, status};
    return {};
}

}  // namespace plover
