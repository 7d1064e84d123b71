// Costs of the COM runtime calls on the acquisition path and the test client's 100 ms tick:
// reading an item value as text (variant to text), parsing a number, task memory, GUID text,
// object creation through a registered module, and a call handed into another apartment.
#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "platform/com/com.h"
#include "platform/registry/registry.h"

namespace {

// Switches LC_ALL for one benchmark and puts it back.
class LocaleScope {
  public:
    explicit LocaleScope(const char* locale) {
        if (const char* old = std::getenv("LC_ALL"))
            previous_ = old;
        setenv("LC_ALL", locale, 1);
    }
    ~LocaleScope() {
        if (previous_.empty())
            unsetenv("LC_ALL");
        else
            setenv("LC_ALL", previous_.c_str(), 1);
    }

  private:
    std::string previous_;
};

void BM_VariantToText_R8(benchmark::State& state) {
    LocaleScope locale(state.range(0) ? "de_DE.UTF-8" : "en_US.UTF-8");
    Variant v = Variant::FromDouble(-1234.5678);
    for (auto _ : state)
        benchmark::DoNotOptimize(VariantToText(v.get()));
}
BENCHMARK(BM_VariantToText_R8)->Arg(0)->Arg(1)->ArgName("comma");

void BM_VariantChangeType_R8ToBstr(benchmark::State& state) {
    Variant v = Variant::FromDouble(-1234.5678);
    for (auto _ : state) {
        VARIANT text;
        VariantInit(&text);
        VariantChangeType(&text, v.ptr(), 0, VT_BSTR);
        benchmark::DoNotOptimize(text.bstrVal);
        VariantClear(&text);
    }
}
BENCHMARK(BM_VariantChangeType_R8ToBstr);

void BM_VariantChangeType_BstrToR8(benchmark::State& state) {
    Variant v = Variant::FromText(u"-1234.5678");
    for (auto _ : state) {
        VARIANT number;
        VariantInit(&number);
        VariantChangeType(&number, v.ptr(), 0, VT_R8);
        benchmark::DoNotOptimize(number.dblVal);
    }
}
BENCHMARK(BM_VariantChangeType_BstrToR8);

void BM_VariantChangeType_R8ToI4(benchmark::State& state) {
    Variant v = Variant::FromDouble(2.5);
    for (auto _ : state) {
        VARIANT number;
        VariantInit(&number);
        VariantChangeType(&number, v.ptr(), 0, VT_I4);
        benchmark::DoNotOptimize(number.lVal);
    }
}
BENCHMARK(BM_VariantChangeType_R8ToI4);

void BM_VariantToText_Date(benchmark::State& state) {
    VARIANT date;
    VariantInit(&date);
    date.vt = VT_DATE;
    date.date = 45000.75;
    for (auto _ : state)
        benchmark::DoNotOptimize(VariantToText(date));
}
BENCHMARK(BM_VariantToText_Date);

void BM_TaskMemAllocFree(benchmark::State& state) {
    for (auto _ : state) {
        void* block = CoTaskMemAlloc(64);
        benchmark::DoNotOptimize(block);
        CoTaskMemFree(block);
    }
}
BENCHMARK(BM_TaskMemAllocFree)->Threads(1)->Threads(2);

void BM_SysAllocString(benchmark::State& state) {
    for (auto _ : state) {
        BSTR text = SysAllocString(u"Simulation.Kessel_3.Temperatur");
        benchmark::DoNotOptimize(text);
        SysFreeString(text);
    }
}
BENCHMARK(BM_SysAllocString);

constexpr GUID kSample = MakeGuid("13486D51-4821-11D2-A494-3CB306C10000");

void BM_GuidToAnsi(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(GuidToAnsi(kSample));
}
BENCHMARK(BM_GuidToAnsi);

void BM_GuidFromAnsi(benchmark::State& state) {
    const std::string text = GuidToAnsi(kSample);
    for (auto _ : state)
        benchmark::DoNotOptimize(GuidFromAnsi(text));
}
BENCHMARK(BM_GuidFromAnsi);

// A call posted into an apartment whose thread sleeps in an event loop woken by the apartment's
// wake-up hook, until the poster hears that it has run there: the path of a server's shutdown
// notice to the test client's window thread.
void BM_PostToApartmentRoundTrip(benchmark::State& state) {
    std::mutex mutex;
    std::condition_variable changed;
    bool pending = false;
    bool stop = false;
    ApartmentId apartment = 0;
    std::thread owner([&] {
        ComInit com;
        CoSetApartmentWakeup([&] {
            std::lock_guard lock(mutex);
            pending = true;
            changed.notify_all();
        });
        std::unique_lock lock(mutex);
        apartment = CoCurrentApartment();
        changed.notify_all();
        while (!stop) {
            changed.wait(lock, [&] { return pending || stop; });
            pending = false;
            lock.unlock();
            CoDispatchApartmentCalls();
            lock.lock();
        }
        lock.unlock();
        CoSetApartmentWakeup({});
    });
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return apartment != 0; });
    }
    bool ran = false;
    for (auto _ : state) {
        CoPostToApartment(apartment, [&] {
            std::lock_guard lock(mutex);
            ran = true;
            changed.notify_all();
        });
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return ran; });
        ran = false;
    }
    {
        std::lock_guard lock(mutex);
        stop = true;
        changed.notify_all();
    }
    owner.join();
}
BENCHMARK(BM_PostToApartmentRoundTrip)->UseRealTime();

#ifdef KORVA_COM_FIXTURE_MODULE
// Creating an object of a registered class whose module is already loaded: the registry look-up
// and the factory, as every connection of the test client and the block pays it.
void BM_CoCreateInstance(benchmark::State& state) {
    char pattern[] = "/tmp/korva-bench-registry-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir) {
        state.SkipWithError("no temporary directory");
        return;
    }
    setenv("KORVA_REGISTRY", dir, 1);
    constexpr CLSID kAdder = MakeGuid("6A1E3F20-2B4C-4D5E-8F60-718293A4B5C6");
    {
        TRegistry reg(KEY_ALL_ACCESS);
        reg.SetRootKey(HKEY_CLASSES_ROOT);
        reg.OpenKey("\\CLSID\\" + GuidToAnsi(kAdder) + "\\InprocServer32", true);
        reg.WriteString("", KORVA_COM_FIXTURE_MODULE);
    }
    ComInit com;
    for (auto _ : state) {
        IUnknown* object = nullptr;
        if (FAILED(CoCreateInstance(kAdder, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                    reinterpret_cast<void**>(&object)))) {
            state.SkipWithError("creation failed");
            break;
        }
        object->Release();
    }
    unsetenv("KORVA_REGISTRY");
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_CoCreateInstance);
#endif

}  // namespace
