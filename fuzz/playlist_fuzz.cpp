// Fuzz target: MP3OpenPlayList of any file into a list box, then ListNoChar
// over the entries it read and MP3SavePlayList of them back.
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_dir.hpp"
#include "kit/list_box.hpp"
#include "platform/mci/mci.hpp"
#include "tavolin2/tavolin2.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        fuzz::private_dir();
        t2::mci::use_simulation(true);
        return true;
    }();
    (void)ready;
    const std::string path = fuzz::private_dir() + "/list.m3u";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    _MP3Class* player = nullptr;
    if (FAILED(T2CoCreateInstance(CLSID_MP3Class, IID__MP3Class, reinterpret_cast<void**>(&player)))) return 0;
    kit::ListBox* list = kit::ListBox::make();
    kit::ListBox* titles = kit::ListBox::make();
    BSTR file = SysAllocStringUTF8(path.c_str());
    VARIANT box;
    VariantInit(&box);
    box.vt = VT_DISPATCH;
    box.pdispVal = list;
    VARIANT r;
    VariantInit(&r);
    player->MP3OpenPlayList(&file, &box, &r);
    VariantClear(&r);
    IDispatch* a = titles;
    IDispatch* b = list;
    player->ListNoChar(&a, &b);
    SysFreeString(file);
    file = SysAllocStringUTF8((path + ".out").c_str());
    player->MP3SavePlayList(&file, &box, &r);
    VariantClear(&r);
    SysFreeString(file);
    titles->Release();
    list->Release();
    player->Release();
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK) info->Release();
    fuzz::empty_private_dir();
    return 0;
}
