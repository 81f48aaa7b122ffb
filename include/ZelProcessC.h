/// @file
/// The C interface of ZelProcess: CZelProcess for any compiler and any
/// language that calls C (C, C++ of any compiler, C# P/Invoke, Python
/// ctypes, Rust, Go), exported by ZelProcessDLL64 itself.
///
/// Each function wraps one member of CZelProcess and returns what it
/// returns, in fixed-width C types; the member's documentation says what
/// each result means and which code it records. Only C types cross this
/// interface: the object is an opaque zel_process, made by
/// zel_process_create() and given back with zel_process_destroy(), and the
/// find handles are `void*`, as in the class.
///
/// **Codes.** Each function records its outcome in the object, as the member
/// it wraps does, and zel_last_error() reads it (zel_error_message() gives
/// its text); results only say whether a value is there. A function whose
/// member records nothing on success leaves the previous code in place. No
/// exception crosses the interface: std::bad_alloc is recorded as
/// ERROR_OUTOFMEMORY (14), a std::system_error of the library's codes as
/// its code, anything else as ERROR_INTERNAL_ERROR (1359), and the function
/// returns its failure value. A null object fails every function without a
/// crash (zel_process_create() returns ERROR_INVALID_PARAMETER, 87, and
/// zel_last_error() of a null object is 87); a null out-pointer where a
/// value must be written records 87 and fails.
///
/// **Strings** go out in UTF-8 into the caller's buffer `buf` of `size`
/// bytes, as snprintf writes: the function returns the length of the whole
/// text in bytes, without the terminating NUL, and writes as much of it as
/// fits followed by a NUL. So a call with a null `buf` and `size` 0 tells
/// the length, and a buffer of the length + 1 bytes takes the text whole; a
/// text cut short ends on a whole character, never inside one. A failure
/// returns 0 and leaves the empty string in the buffer; a null `buf` with a
/// nonzero `size` records ERROR_INVALID_PARAMETER (87) and reads nothing. A
/// live string can change between the call that sizes it and the one that
/// reads it: a result of `size` or more says the text was cut.
///
/// No memory crosses the interface but the environment copy, which has its
/// own free function. An object and its handles are used by one thread at a
/// time; distinct objects share nothing.
#ifndef ZELPROCESSC_H
#define ZELPROCESSC_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(ZELPROCESS_BUILD)
#define ZEL_C_API __declspec(dllexport)
#else
#define ZEL_C_API __declspec(dllimport)
#endif
#else
/// Exports the C interface from ZelProcessDLL64 (imports it into a host).
#define ZEL_C_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/// @name Codes that the interface names (ZelCodes.h has them all)
/// @{
#define ZEL_ERROR_SUCCESS 0             ///< Success (ERROR_SUCCESS).
#define ZEL_ERROR_OUTOFMEMORY 14        ///< No memory (ERROR_OUTOFMEMORY).
#define ZEL_ERROR_INVALID_PARAMETER 87  ///< A bad argument (ERROR_INVALID_PARAMETER).
#define ZEL_ERROR_NO_MORE_ITEMS 259     ///< The end of a walk (ERROR_NO_MORE_ITEMS).
#define ZEL_ERROR_INTERNAL_ERROR 1359   ///< An unexpected exception (ERROR_INTERNAL_ERROR).
/// @}

/// A CZelProcess: the snapshot, its handles' owner and the last code. Opaque.
typedef struct zel_process zel_process;

/// A process's memory counters (CZelProcess::GetMemoryCounters), in bytes but
/// for the page faults; the fields of VM_COUNTERS, each 64 bits wide.
typedef struct zel_memory_counters {
  uint64_t peak_virtual_size;                ///< The largest virtual_size so far.
  uint64_t virtual_size;                     ///< The address space in use.
  uint64_t page_fault_count;                 ///< Page faults so far.
  uint64_t peak_working_set_size;            ///< The largest working_set_size so far.
  uint64_t working_set_size;                 ///< The memory resident now.
  uint64_t quota_peak_paged_pool_usage;      ///< The largest paged pool charge; 0 on Linux.
  uint64_t quota_paged_pool_usage;           ///< The paged pool charged; 0 on Linux.
  uint64_t quota_peak_non_paged_pool_usage;  ///< The largest non-paged pool charge; 0 on Linux.
  uint64_t quota_non_paged_pool_usage;       ///< The non-paged pool charged; 0 on Linux.
  uint64_t pagefile_usage;                   ///< The private bytes committed.
  uint64_t peak_pagefile_usage;              ///< The largest pagefile_usage so far.
} zel_memory_counters;

/// A process's I/O counters since it started (CZelProcess::GetIOCounters).
typedef struct zel_io_counters {
  uint64_t read_operation_count;   ///< Read operations.
  uint64_t write_operation_count;  ///< Write operations.
  uint64_t other_operation_count;  ///< Other I/O operations; 0 on Linux.
  uint64_t read_transfer_count;    ///< Bytes read.
  uint64_t write_transfer_count;   ///< Bytes written.
  uint64_t other_transfer_count;   ///< Bytes of the other operations; 0 on Linux.
} zel_io_counters;

/// @name The object
/// @{

/// Makes an object, which takes the first snapshot, and writes it to
/// `*process`; returns 0, or the code why not with `*process` set to null:
/// what CZelProcess's constructor throws, ERROR_OUTOFMEMORY (14) when the
/// object cannot be had, and ERROR_INVALID_PARAMETER (87) for a null
/// `process`. The new object's code is 0.
ZEL_C_API uint32_t zel_process_create(zel_process** process);
/// Destroys the object and its share of the snapshot (CZelProcess's
/// destructor); a null `process` does nothing. Its handles can then only be
/// closed, duplicated or tested, through another object.
ZEL_C_API void zel_process_destroy(zel_process* process);
/// The code of the object's last operation that recorded one
/// (CZelObject::GetErrorCode); ERROR_INVALID_PARAMETER (87) for a null
/// `process`. Records nothing.
ZEL_C_API uint32_t zel_last_error(const zel_process* process);
/// Takes a new snapshot (CZelProcess::Refresh); 1 when it has one, else 0.
ZEL_C_API int zel_refresh(zel_process* process);
/// The number of processes in the snapshot (CZelProcess::GetProcessCount);
/// 0 for a null `process`.
ZEL_C_API uint32_t zel_get_process_count(zel_process* process);

/// @}
/// @name Handles
/// @{

/// A process handle on the first process whose image name matches the
/// UTF-8 `pattern`, or on the first process for a null or empty one
/// (CZelProcess::FindFirstProcess); null when there is none.
ZEL_C_API void* zel_find_first_process(zel_process* process, const char* pattern);
/// Moves `find` to the next process that matches its pattern
/// (CZelProcess::FindNextProcess); 1 when it moved, else 0.
ZEL_C_API int zel_find_next_process(zel_process* process, void* find);
/// A thread handle on the first thread of the process under `find`
/// (CZelProcess::FindFirstThread); null on failure.
ZEL_C_API void* zel_find_first_thread(zel_process* process, void* find);
/// Moves the thread handle `thread` to the next thread of its process
/// (CZelProcess::FindNextThread); 1 when it moved, else 0.
ZEL_C_API int zel_find_next_thread(zel_process* process, void* thread);
/// A process handle on the process with the ID `process_id`
/// (CZelProcess::CreateHandleFromPID); null when there is none.
ZEL_C_API void* zel_create_handle_from_pid(zel_process* process, uint32_t process_id);
/// A thread handle on the thread `thread_id` of the process under `find`
/// (CZelProcess::CreateHandleFromTID); null when there is none.
ZEL_C_API void* zel_create_handle_from_tid(zel_process* process, void* find, uint32_t thread_id);
/// A new handle at the same place as `find`, to be closed on its own
/// (CZelProcess::DuplicateHandle); null on failure.
ZEL_C_API void* zel_duplicate_handle(zel_process* process, void* find);
/// 1 for a process handle, 0 for a thread handle or anything else
/// (CZelProcess::IsProcessHandle); the code tells which.
ZEL_C_API int zel_is_process_handle(zel_process* process, void* find);
/// Gives back a handle of either kind (CZelProcess::CloseHandle); 1 when
/// released, else 0.
ZEL_C_API int zel_close_handle(zel_process* process, void* find);

/// @}
/// @name Facts of the snapshot
/// @{

/// The image name of the process under `find` (CZelProcess::GetName), as
/// the strings above go out.
ZEL_C_API size_t zel_get_name(zel_process* process, void* find, char* buf, size_t size);
/// The ID of the process under `find` (CZelProcess::GetProcessID);
/// 0xFFFFFFFF on failure.
ZEL_C_API uint32_t zel_get_process_id(zel_process* process, void* find);
/// The ID of the parent of the process under `find`
/// (CZelProcess::GetParentProcess); 0xFFFFFFFF on failure.
ZEL_C_API uint32_t zel_get_parent_process(zel_process* process, void* find);
/// The base priority of the process under `find`
/// (CZelProcess::GetBasePriority); -1 on failure.
ZEL_C_API int32_t zel_get_base_priority(zel_process* process, void* find);
/// The number of threads of the process under `find`
/// (CZelProcess::GetThreadCount); 0xFFFFFFFF on failure.
ZEL_C_API uint32_t zel_get_thread_count(zel_process* process, void* find);
/// Writes when the process under `find` was created into `*time`, in 100-ns
/// units since 1601-01-01 UTC (CZelProcess::GetCreateTime); 1, or 0 with
/// `*time` as it was.
ZEL_C_API int zel_get_create_time(zel_process* process, void* find, uint64_t* time);
/// Writes the user-mode CPU time of the process under `find` into `*time`,
/// in 100-ns units (CZelProcess::GetUserTime); 1, or 0 with `*time` as it
/// was.
ZEL_C_API int zel_get_user_time(zel_process* process, void* find, uint64_t* time);
/// Writes the kernel-mode CPU time of the process under `find` into
/// `*time`, in 100-ns units (CZelProcess::GetKernelTime); 1, or 0 with
/// `*time` as it was.
ZEL_C_API int zel_get_kernel_time(zel_process* process, void* find, uint64_t* time);
/// Writes the memory counters of the process under `find` into `*counters`
/// (CZelProcess::GetMemoryCounters); 1, or 0 with `*counters` as it was.
ZEL_C_API int zel_get_memory_counters(zel_process* process, void* find,
                                      zel_memory_counters* counters);
/// Writes the I/O counters of the process under `find` into `*counters`
/// (CZelProcess::GetIOCounters); 1, or 0 with `*counters` as it was.
ZEL_C_API int zel_get_io_counters(zel_process* process, void* find, zel_io_counters* counters);
/// The ID of the thread under `thread` (CZelProcess::GetThreadID);
/// 0xFFFFFFFF on failure.
ZEL_C_API uint32_t zel_get_thread_id(zel_process* process, void* thread);
/// The ID of the process that the thread under `thread` belongs to
/// (CZelProcess::GetThreadParentProcess); 0xFFFFFFFF on failure.
ZEL_C_API uint32_t zel_get_thread_parent_process(zel_process* process, void* thread);
/// Writes when the thread under `thread` was created into `*time`, in 100-ns
/// units since 1601-01-01 UTC (CZelProcess::GetThreadCreateTime); 1, or 0
/// with `*time` as it was.
ZEL_C_API int zel_get_thread_create_time(zel_process* process, void* thread, uint64_t* time);

/// @}
/// @name Live reads out of the running process
/// @{

/// The path of the executable that the process under `find` runs
/// (CZelProcess::GetImageFile), as the strings above go out.
ZEL_C_API size_t zel_get_image_file(zel_process* process, void* find, char* buf, size_t size);
/// The command line of the process under `find`
/// (CZelProcess::GetCommandLineW), as the strings above go out.
ZEL_C_API size_t zel_get_command_line(zel_process* process, void* find, char* buf, size_t size);
/// The current directory of the process under `find`
/// (CZelProcess::GetCurrentDirectoryW), as the strings above go out.
ZEL_C_API size_t zel_get_current_directory(zel_process* process, void* find, char* buf,
                                           size_t size);
/// The window title that the process under `find` was started with
/// (CZelProcess::GetWindowTitle), as the strings above go out.
ZEL_C_API size_t zel_get_window_title(zel_process* process, void* find, char* buf, size_t size);
/// The desktop that the process under `find` was started on
/// (CZelProcess::GetDesktopName), as the strings above go out.
ZEL_C_API size_t zel_get_desktop_name(zel_process* process, void* find, char* buf, size_t size);
/// The DLL search path that the process under `find` was started with
/// (CZelProcess::GetPath), as the strings above go out.
ZEL_C_API size_t zel_get_path(zel_process* process, void* find, char* buf, size_t size);
/// A copy of the environment of the process under `find`, as
/// CZelProcess::GetEnvironmentBuffer gives it (UTF-16 "NAME=value" strings,
/// each ended by a NUL, an empty one after the last, cut at the copy's
/// size); null on failure. Writes the copy's size in bytes into `*length`
/// when `length` is not null (0 on failure). The copy is the host's until it
/// gives it back with zel_free_environment_buffer().
ZEL_C_API unsigned char* zel_get_environment_buffer(zel_process* process, void* find,
                                                    size_t* length);
/// A copy of the whole environment block of the process under `find`, as
/// CZelProcess::GetEnvironmentBlock gives it (up to and including its
/// terminating empty string; cut after a whole variable, with
/// ERROR_MORE_DATA, 234, recorded, when it does not end within 16 MiB); null
/// on failure. Writes the copy's size in bytes into `*length` when `length`
/// is not null (0 on failure). The copy is the host's until it gives it back
/// with zel_free_environment_buffer().
ZEL_C_API unsigned char* zel_get_environment_block(zel_process* process, void* find,
                                                   size_t* length);
/// Gives back a copy that zel_get_environment_buffer() or
/// zel_get_environment_block() made (CZelProcess::FreeEnvironmentBuffer); 1,
/// or 0 for any other pointer, which is left alone.
ZEL_C_API int zel_free_environment_buffer(zel_process* process, unsigned char* block);
/// Writes the account that owns the process under `find` into `user` and
/// its domain into `domain` (CZelProcess::GetUserAndDomain), each as the
/// strings above go out, with each one's length written into `*user_length`
/// and `*domain_length` when those are not null; 1, or 0 with both empty.
ZEL_C_API int zel_get_user_and_domain(zel_process* process, void* find, char* user,
                                      size_t user_size, size_t* user_length, char* domain,
                                      size_t domain_size, size_t* domain_length);
/// The first top-level window of the process under `find`
/// (CZelProcess::GetMainWindow): on Windows its HWND, otherwise an opaque
/// value; null when it has none, always on Linux, and on failure.
ZEL_C_API void* zel_get_main_window(zel_process* process, void* find);

/// @}
/// @name Modules of a live process
/// @{

/// A module handle on the first module that the process under `find` has
/// loaded whose file name matches the UTF-8 `pattern`, or on its first
/// module (the executable) for a null or empty one
/// (CZelProcess::FindFirstModule); null on failure. The handle holds the
/// whole list, read now; zel_close_handle() gives it back.
ZEL_C_API void* zel_find_first_module(zel_process* process, void* find, const char* pattern);
/// Moves the module handle `module` to the next module of its list
/// (CZelProcess::FindNextModule); 1 when it moved, else 0.
ZEL_C_API int zel_find_next_module(zel_process* process, void* module);
/// The file name of the module under `module` (CZelProcess::GetModuleName),
/// as the strings above go out.
ZEL_C_API size_t zel_get_module_name(zel_process* process, void* module, char* buf, size_t size);
/// The full path of the module under `module` (CZelProcess::GetModulePath),
/// as the strings above go out.
ZEL_C_API size_t zel_get_module_path(zel_process* process, void* module, char* buf, size_t size);
/// The address at which the module under `module` is loaded in its
/// process (CZelProcess::GetModuleBase); 0 on failure.
ZEL_C_API uint64_t zel_get_module_base(zel_process* process, void* module);
/// The size in bytes of the module under `module`
/// (CZelProcess::GetModuleSize); 0 on failure.
ZEL_C_API uint64_t zel_get_module_size(zel_process* process, void* module);

/// @}

/// The text of `code` (zel::ErrorMessage), as the strings above go out.
/// Needs no object and records nothing; 0 for a null `buf` with a nonzero
/// `size`, or when the text cannot be had.
ZEL_C_API size_t zel_error_message(uint32_t code, char* buf, size_t size);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // ZELPROCESSC_H
