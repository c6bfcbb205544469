#pragma once

#include <objbase.h>

// The calling thread's membership of a single-threaded COM apartment, for as long as
// this lives. Every thread that downloads needs one: the URL moniker is COM.
class ComApartment {
public:
    ComApartment() : result_(CoInitialize(nullptr)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT result_;
};
