// The C interface over the scripted system: what a C host gets for good and
// bad arguments, how strings go out, and what the class's exceptions become.
#include <functional>
#include <stdexcept>
#include <string>
#include <system_error>

#include "ZelErrorMessage.h"
#include "ZelProcessC.h"
#include "c_api/wrap.h"
#include "support/alloc_fault.h"
#include "support/scripted_system.h"
#include "support/system_test.h"

namespace {

namespace code = zel::code;

// A result, and what the buffers hold, as one text to compare.
std::string Shown(long long result) { return std::to_string(result); }
std::string Shown(long long result, const char* text) { return Shown(result) + " '" + text + "'"; }
template <class T>
long long N(T value) {
  return static_cast<long long>(value);
}

class CInterfaceTest : public zel::test::SystemTest {
 protected:
  void SetUp() override {
    auto target = zel::test::MakeTarget(100, 8, u"€uro.exe", 2);
    target.createTime = 0x0123456789ABCDEFULL;
    target.vm = {101, 102, 103, 0, 104, 105, 106, 107, 108, 109, 110, 111};
    target.io = {201, 202, 203, 204, 205, 206};
    system.processes = {zel::test::MakeProcess(8, 0, u"svc.exe"), target};
    system.accounts = {zel::test::kTargetOwner};
  }

  // What each function of a null object gives, without a crash.
  static std::string NullObject() {
    char buf[4] = "old";
    std::uint64_t time = 7;
    size_t user = 9, domain = 9, length = 9;
    zel_memory_counters vm{};
    zel_io_counters io{};
    zel_process* none = nullptr;
    void* h = &time;
    std::string all = Shown(zel_process_create(nullptr)) + Shown(zel_last_error(nullptr));
    zel_process_destroy(nullptr);
    for (long long r : {N(zel_refresh(none)),
                        N(zel_get_process_count(none)),
                        N(zel_find_next_process(none, h)),
                        N(zel_find_next_thread(none, h)),
                        N(zel_is_process_handle(none, h)),
                        N(zel_close_handle(none, h)),
                        N(zel_get_create_time(none, h, &time)),
                        N(zel_get_user_time(none, h, &time)),
                        N(zel_get_kernel_time(none, h, &time)),
                        N(zel_get_thread_create_time(none, h, &time)),
                        N(zel_get_memory_counters(none, h, &vm)),
                        N(zel_get_io_counters(none, h, &io)),
                        N(zel_free_environment_buffer(none, reinterpret_cast<unsigned char*>(buf))),
                        N(zel_get_user_and_domain(none, h, buf, 4, &user, buf, 4, &domain)),
                        N(zel_get_name(none, h, buf, 4)),
                        N(zel_get_image_file(none, h, buf, 4)),
                        N(zel_get_command_line(none, h, buf, 4)),
                        N(zel_get_current_directory(none, h, buf, 4)),
                        N(zel_get_window_title(none, h, buf, 4)),
                        N(zel_get_desktop_name(none, h, buf, 4)),
                        N(zel_get_path(none, h, buf, 4)),
                        N(zel_find_next_module(none, h)),
                        N(zel_get_module_name(none, h, buf, 4)),
                        N(zel_get_module_path(none, h, buf, 4)),
                        N(zel_get_module_base(none, h)),
                        N(zel_get_module_size(none, h)),
                        N(user + domain + *buf)}) {
      all += Shown(r);
    }
    for (void* p : {zel_find_first_process(none, "*"), zel_find_first_thread(none, h),
                    zel_create_handle_from_pid(none, 8), zel_create_handle_from_tid(none, h, 801),
                    zel_duplicate_handle(none, h), zel_get_main_window(none, h),
                    zel_find_first_module(none, h, "*"),
                    static_cast<void*>(zel_get_environment_buffer(none, h, &length)),
                    static_cast<void*>(zel_get_environment_block(none, h, &length))}) {
      all += p == nullptr ? "-" : "!";
    }
    for (std::uint32_t id : {zel_get_process_id(none, h), zel_get_parent_process(none, h),
                             zel_get_thread_count(none, h), zel_get_thread_id(none, h),
                             zel_get_thread_parent_process(none, h)}) {
      all += id == zel::c_api::kNoId ? "-" : "!";
    }
    return all + Shown(zel_get_base_priority(none, h)) + Shown(length) + Shown(time);
  }
};

TEST_F(CInterfaceTest, EachFunctionAsAHostSeesIt) {
  // The command line holds a four-byte character, the name a three-byte one.
  const std::u16string units = zel::test::TargetParameters().commandLine;
  const std::string command_line =
      CZelString(reinterpret_cast<const unsigned short*>(units.c_str())).ToUtf8();
  const std::size_t emoji = command_line.find("😀");
  ASSERT_NE(emoji, std::string::npos);
  using Call = std::function<std::string(zel_process*, void*)>;
  struct Row {
    const char* what;
    Call call;
    std::string expected;
    std::uint32_t code;  // zel_last_error() after the call
  };
  const Row rows[] = {
      {"a name sized with no buffer, then read into its length + 1",
       [](zel_process* p, void* h) {
         char buf[11];
         const size_t length = zel_get_name(p, h, nullptr, 0);
         return Shown(length) + Shown(zel_get_name(p, h, buf, sizeof buf), buf);
       },
       "1010 '€uro.exe'", 0},
      {"a name cut before a character that does not fit whole, and after one that does",
       [](zel_process* p, void* h) {
         char small[3] = "xx", larger[5];
         const size_t length = zel_get_name(p, h, small, sizeof small);
         return Shown(length, small) + Shown(zel_get_name(p, h, larger, sizeof larger), larger);
       },
       "10 ''10 '€u'", 0},
      {"a null buffer with a size",
       [](zel_process* p, void* h) { return Shown(zel_get_name(p, h, nullptr, 4)); }, "0",
       code::kInvalidParameter},
      {"a live string cut before a four-byte character",
       [&](zel_process* p, void* h) {
         std::string buf(emoji + 3, 'x');
         return Shown(zel_get_command_line(p, h, buf.data(), buf.size()), buf.c_str());
       },
       Shown(command_line.size(), command_line.substr(0, emoji).c_str()), 0},
      {"an owner, each part in its own buffer with its length",
       [](zel_process* p, void* h) {
         char user[8], domain[3];
         size_t user_length = 0, domain_length = 0;
         const int ok = zel_get_user_and_domain(p, h, user, sizeof user, &user_length, domain,
                                                sizeof domain, &domain_length);
         return Shown(ok, user) + Shown(user_length, domain) + Shown(domain_length);
       },
       "1 'alice'5 'CO'4", 0},
      {"an owner with a null buffer with a size",
       [](zel_process* p, void* h) {
         char user[8] = "old";
         return Shown(
             zel_get_user_and_domain(p, h, user, sizeof user, nullptr, nullptr, 1, nullptr), user);
       },
       "0 ''", code::kInvalidParameter},
      {"the environment copy with its length, given back once",
       [](zel_process* p, void* h) {
         size_t length = 0;
         unsigned char* block = zel_get_environment_buffer(p, h, &length);
         const bool starts = block != nullptr && block[0] == 'A' && block[2] == '=';
         const int first = zel_free_environment_buffer(p, block);
         return Shown(length) + Shown(starts) + Shown(first) +
                Shown(zel_free_environment_buffer(p, block));
       },
       "4096110", code::kInvalidParameter},
      {"the whole environment block with its length, given back",
       [](zel_process* p, void* h) {
         size_t length = 0;
         unsigned char* block = zel_get_environment_block(p, h, &length);
         const bool ends = block != nullptr && length >= 4 && block[length - 1] == 0 &&
                           block[length - 2] == 0 && block[length - 3] == 0;
         return Shown(length) + Shown(ends) + Shown(zel_free_environment_buffer(p, block));
       },
       "3411", 0},
      {"a time as one 64-bit count",
       [](zel_process* p, void* h) {
         std::uint64_t time = 0;
         const int ok = zel_get_create_time(p, h, &time);
         return Shown(ok) + Shown(time);
       },
       "1" + std::to_string(0x0123456789ABCDEFULL), 0},
      {"a null time",
       [](zel_process* p, void* h) { return Shown(zel_get_user_time(p, h, nullptr)); }, "0",
       code::kInvalidParameter},
      {"the memory and I/O counters, field by field",
       [](zel_process* p, void* h) {
         zel_memory_counters vm;
         zel_io_counters io;
         std::string all =
             Shown(zel_get_memory_counters(p, h, &vm)) + Shown(zel_get_io_counters(p, h, &io));
         for (auto v :
              {vm.peak_virtual_size, vm.virtual_size, vm.page_fault_count, vm.peak_working_set_size,
               vm.working_set_size, vm.quota_peak_paged_pool_usage, vm.quota_paged_pool_usage,
               vm.quota_peak_non_paged_pool_usage, vm.quota_non_paged_pool_usage, vm.pagefile_usage,
               vm.peak_pagefile_usage, io.read_operation_count, io.write_operation_count,
               io.other_operation_count, io.read_transfer_count, io.write_transfer_count,
               io.other_transfer_count}) {
           all += " " + Shown(v);
         }
         return all;
       },
       "11 101 102 103 104 105 106 107 108 109 110 111 201 202 203 204 205 206", 0},
      {"a code's text, and a null buffer with a size",
       [](zel_process*, void*) {
         char buf[64];
         return Shown(zel_error_message(87, buf, sizeof buf), buf) +
                Shown(zel_error_message(87, nullptr, 1));
       },
       "27 'The parameter is incorrect.'0", 0},
      {"a bad handle, as the class records it",
       [](zel_process* p, void*) {
         char buf[4];
         return Shown(zel_get_name(p, buf, buf, sizeof buf), buf);
       },
       "0 ''", code::kInvalidParameter},
      {"an allocation that fails in a read",
       [](zel_process* p, void* h) {
         char buf[16] = "old";
         const zel::test::ScopedAllocationFailure failure(0);
         return Shown(zel_get_name(p, h, buf, sizeof buf), buf);
       },
       "0 ''", code::kOutOfMemory},
      {"an allocation that fails in an object",
       [](zel_process*, void*) {
         zel_process* made = nullptr;
         const zel::test::ScopedAllocationFailure failure(0);
         return Shown(zel_process_create(&made)) + Shown(made == nullptr);
       },
       "141", 0},
      {"an object that cannot take a snapshot",
       [this](zel_process*, void*) {
         zel_process* made = nullptr;
         system.ntdllLoaded = false;
         const std::string shown = Shown(zel_process_create(&made)) + Shown(made == nullptr);
         system.ntdllLoaded = true;
         return shown;
       },
       "1261", 0},
      {"a system error of the library's codes",
       [](zel_process* p, void*) {
         return Shown(zel::c_api::Invoke(
             p, 7, [](zel_process&) -> int { throw std::system_error(5, zel::error_category()); }));
       },
       "7", code::kAccessDenied},
      {"a system error of another category",
       [](zel_process* p, void*) {
         return Shown(zel::c_api::Invoke(p, 7, [](zel_process&) -> int {
           throw std::system_error(5, std::generic_category());
         }));
       },
       "7", zel::kErrorInternalError},
      {"any other exception",
       [](zel_process* p, void*) {
         return Shown(zel::c_api::Invoke(
             p, 7, [](zel_process&) -> int { throw std::runtime_error("not the library's"); }));
       },
       "7", zel::kErrorInternalError},
      {"a module walk: names and paths as the strings go out, bases and sizes as counts",
       [](zel_process* p, void* h) {
         void* module = zel_find_first_module(p, h, "*.dll");
         std::string all;
         for (bool more = module != nullptr; more; more = zel_find_next_module(p, module)) {
           char name[13], path[64];
           zel_get_module_name(p, module, name, sizeof name);
           all += Shown(zel_get_module_path(p, module, path, sizeof path), path) + " " + name +
                  " " + Shown(zel_get_module_size(p, module)) + ";";
         }
         const std::uint32_t end = zel_last_error(p);
         return all + Shown(zel_get_module_base(p, nullptr)) + Shown(end) +
                Shown(zel_close_handle(p, module));
       },
       "29 'C:\\Windows\\SYSTEM32\\ntdll.dll' ntdll.dll 2064384;"
       "32 'C:\\Windows\\System32\\KERNEL32.DLL' KERNEL32.DLL 802816;"
       "40 'C:\\Program Files\\app\\plug-in ü 😀.dll' plug-in ü  143360;02591",
       code::kInvalidParameter},
      // Two 87s, 27 results of 0 (the buffers and lengths emptied), 14 null
      // handles and IDs of 0xFFFFFFFF, the priority -1, no environment, the
      // time left as it was.
      {"every function of a null object", [](zel_process*, void*) { return NullObject(); },
       "8787" + std::string(27, '0') + std::string(14, '-') + "-1" + "0" + "7", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    zel_process* p = nullptr;
    ASSERT_EQ(zel_process_create(&p), 0u);
    void* h = zel_create_handle_from_pid(p, 100);
    EXPECT_EQ(row.call(p, h), row.expected);
    EXPECT_EQ(zel_last_error(p), row.code);
    EXPECT_EQ(zel_close_handle(p, h), 1);
    zel_process_destroy(p);
  }
}

}  // namespace
