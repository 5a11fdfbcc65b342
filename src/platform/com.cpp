#include "platform/com.h"

namespace plover {

bool SameObject(IUnknown* a, IUnknown* b) {
    if (!a || !b) return a == b;
    RefPtr<IUnknown> ua = QueryAs<IUnknown>(a, IID_IUnknown);
    RefPtr<IUnknown> ub = QueryAs<IUnknown>(b, IID_IUnknown);
    return ua && ua == ub;
}

}  // namespace plover
