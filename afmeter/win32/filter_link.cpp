// The meter links against the filter manager user library, so the loader
// maps fltlib.dll when the program starts (and refuses to start without
// it); the platform layer's driver port then finds the two functions in the
// module already loaded.
extern "C" {
__declspec(dllimport) long __stdcall FilterConnectCommunicationPort(const wchar_t* name,
                                                                    unsigned long options,
                                                                    const void* context,
                                                                    unsigned short context_size,
                                                                    void* security, void** port);
__declspec(dllimport) long __stdcall FilterSendMessage(void* port, void* in, unsigned long in_size,
                                                       void* out, unsigned long out_size,
                                                       unsigned long* returned);
}

namespace {
[[gnu::used]] void* const kFilterFunctions[] = {
    reinterpret_cast<void*>(&FilterConnectCommunicationPort),
    reinterpret_cast<void*>(&FilterSendMessage),
};
}  // namespace
