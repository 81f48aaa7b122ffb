/* Lists every process of the system with its ID, its parent's, its image
   name and its command line, through the C interface; where the command
   line cannot be read, the reason instead. C99, and any compiler.

     list_processes_c */
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>

#include "ZelProcessC.h"

/* The interface's strings: a call without a buffer tells the length, the
   next one reads the text into room for it and its NUL. A live string can
   grow in between, so the read is tried again until it fits. The caller
   frees the text; null when there is no memory for it. */
static char* read_text(size_t (*read)(zel_process*, void*, char*, size_t), zel_process* processes,
                       void* process) {
  size_t length = read(processes, process, NULL, 0);
  for (;;) {
    char* text = malloc(length + 1);
    size_t needed;
    if (text == NULL) return NULL;
    needed = read(processes, process, text, length + 1);
    if (needed <= length) return text;
    free(text);
    length = needed;
  }
}

int main(void) {
  zel_process* processes;
  void* process;
  char message[256];
  uint32_t code = zel_process_create(&processes);
  if (code != ZEL_ERROR_SUCCESS) {
    zel_error_message(code, message, sizeof message);
    fprintf(stderr, "list_processes_c: no snapshot: %s\n", message);
    return 1;
  }
  /* A null pattern walks every process. */
  process = zel_find_first_process(processes, NULL);
  if (process == NULL) {
    zel_error_message(zel_last_error(processes), message, sizeof message);
    fprintf(stderr, "list_processes_c: no process: %s\n", message);
    zel_process_destroy(processes);
    return 1;
  }
  printf("%7s %7s  %-20s %s\n", "PID", "PPID", "NAME", "COMMAND LINE");
  do {
    char name[256];
    char* command_line;
    uint32_t id = zel_get_process_id(processes, process);
    uint32_t parent = zel_get_parent_process(processes, process);
    zel_get_name(processes, process, name, sizeof name);
    /* A live read says why it failed in the object's code. */
    command_line = read_text(zel_get_command_line, processes, process);
    code = zel_last_error(processes);
    if (command_line != NULL && code == ZEL_ERROR_SUCCESS) {
      printf("%7" PRIu32 " %7" PRIu32 "  %-20s %s\n", id, parent, name, command_line);
    } else {
      zel_error_message(command_line != NULL ? code : ZEL_ERROR_OUTOFMEMORY, message,
                        sizeof message);
      printf("%7" PRIu32 " %7" PRIu32 "  %-20s (%s)\n", id, parent, name, message);
    }
    free(command_line);
  } while (zel_find_next_process(processes, process));
  /* The walk ends with ERROR_NO_MORE_ITEMS; anything else cut it short. */
  code = zel_last_error(processes);
  zel_close_handle(processes, process);
  zel_process_destroy(processes);
  if (code != ZEL_ERROR_NO_MORE_ITEMS) {
    zel_error_message(code, message, sizeof message);
    fprintf(stderr, "list_processes_c: the walk stopped: %s (code %" PRIu32 ")\n", message, code);
    return 1;
  }
  return 0;
}
