// Symbols per second: clsBCAT175.Barcode128Draw with a caption into a PictureBox,
// and Barcode39Draw with its caption, late-bound parts and all.
#include <benchmark/benchmark.h>

#include "kit/picture_box.hpp"

namespace {

void BM_Barcode128Draw(benchmark::State& state) {
    kit::PictureBox* box = kit::PictureBox::make(220, 70);
    _clsBCAT175* bc = nullptr;
    T2CoCreateInstance(CLSID_clsBCAT175, IID__clsBCAT175, reinterpret_cast<void**>(&bc));
    BSTR t = SysAllocString(u"TAVOLIN2-128"), cap = SysAllocString(u"TAVOLIN2-128"),
         face = SysAllocString(u"Courier New");
    IDispatch* p = box;
    LONG back = 0xFFFFFF, fore = 0;
    OLE_COLOR cc = 0;
    SHORT align = 2, disp = 1, style = 2, size = 10, bar = 30, left = 10, top = 10;
    for (auto _ : state) {
        VARIANT r;
        bc->Barcode128Draw(&t, &p, &cap, &back, &fore, &cc, &align, &disp, &style, &size, &face, &bar, &left, &top, &r);
    }
    state.SetItemsProcessed(state.iterations());
    SysFreeString(t);
    SysFreeString(cap);
    SysFreeString(face);
    bc->Release();
    box->Release();
}
BENCHMARK(BM_Barcode128Draw);

void BM_Barcode39Draw(benchmark::State& state) {
    kit::PictureBox* box = kit::PictureBox::make(200, 60);
    _clsBCAT175* bc = nullptr;
    T2CoCreateInstance(CLSID_clsBCAT175, IID__clsBCAT175, reinterpret_cast<void**>(&bc));
    BSTR t = SysAllocString(u"TAVOLIN2"), cap = SysAllocString(u"TAVOLIN2");
    IDispatch* p = box;
    for (auto _ : state) {
        VARIANT r;
        bc->Barcode39Draw(&t, &cap, &p, &r);
    }
    state.SetItemsProcessed(state.iterations());
    SysFreeString(t);
    SysFreeString(cap);
    bc->Release();
    box->Release();
}
BENCHMARK(BM_Barcode39Draw);

}  // namespace

BENCHMARK_MAIN();
