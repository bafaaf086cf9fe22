// The one way a service changes a published property: store the new value and emit the property's
// change signal, both only when the value really changed, so observers never see a change that was not.
#pragma once

#include <utility>

template <typename Owner, typename T, typename U>
bool assignPublished(Owner* owner, T& field, U&& value, void (Owner::*changed)()) {
    if (field == value)
        return false;
    field = std::forward<U>(value);
    emit(owner->*changed)();
    return true;
}
