#pragma once

// Every libpff entry point the reader uses, reached through one table so
// that tests can make a call fail the way a real file never does, or watch
// which thread calls the library.

#include <libpff.h>

#include <functional>
#include <memory>

namespace ostrel {

#define OSTREL_LIBPFF_CALLS(X)                  \
    X(file_initialize)                          \
    X(file_free)                                \
    X(file_open)                                \
    X(file_close)                               \
    X(file_set_ascii_codepage)                  \
    X(file_get_root_folder)                     \
    X(item_free)                                \
    X(item_get_entry_value_32bit)               \
    X(item_get_entry_value_utf8_string_size)    \
    X(item_get_entry_value_utf8_string)         \
    X(item_get_number_of_record_sets)           \
    X(item_get_record_set_by_index)             \
    X(folder_get_utf8_name_size)                \
    X(folder_get_utf8_name)                     \
    X(folder_get_number_of_sub_folders)         \
    X(folder_get_sub_folder)                    \
    X(folder_get_number_of_sub_messages)        \
    X(folder_get_sub_message)                   \
    X(message_get_delivery_time)                \
    X(message_get_plain_text_body_size)         \
    X(message_get_plain_text_body)              \
    X(message_get_html_body_size)               \
    X(message_get_html_body)                    \
    X(message_get_rtf_body_size)                \
    X(message_get_rtf_body)                     \
    X(message_get_recipients)                   \
    X(message_get_number_of_attachments)        \
    X(message_get_attachment)                   \
    X(attachment_get_data_size)                 \
    X(attachment_data_read_buffer)              \
    X(attachment_data_seek_offset)              \
    X(record_set_free)                          \
    X(record_set_get_entry_by_type)             \
    X(record_entry_free)                        \
    X(record_entry_get_data_as_utf8_string_size) \
    X(record_entry_get_data_as_utf8_string)

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

struct LibpffCalls {
#define OSTREL_LIBPFF_MEMBER(name) std::function<decltype(libpff_##name)> name = libpff_##name;
    OSTREL_LIBPFF_CALLS(OSTREL_LIBPFF_MEMBER)
#undef OSTREL_LIBPFF_MEMBER

    // The table of the real library.
    static std::shared_ptr<const LibpffCalls> real();

    // Wraps every call so that observer(name) runs just before it.
    void observeEach(const std::function<void(const char *name)> &observer);
};

#pragma GCC diagnostic pop

}  // namespace ostrel
