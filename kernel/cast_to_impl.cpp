// The implementation object behind an interface object.
#include "kernel/kpi_impl.h"

KCommon_i* CastToImpl(KCommon* obj) {
    return obj ? ImplOfAnswer(obj->_CastToImpl()) : nullptr;
}

KCommon_i* ImplOfAnswer(KCommon_i* first) {
    if (!first || !first->IsJournalWrapper())
        return first;
    // A wrapper that answers for itself: go through the object it wraps.
    KCommon_j* wrapper = dynamic_cast<KCommon_j*>(first);
    if (!wrapper)
        return first;
    // The wrapper keeps its own reference, so the result outlives this handle.
    xrchandle<xobject> wrapped = wrapper->GetImplHandle();
    KCommon* inner = KCommon::softcast(wrapped.get());
    return inner ? inner->_CastToImpl() : nullptr;
}
