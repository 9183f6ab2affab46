#pragma once

// Every libpff entry point the libpff engine uses, reached through one table
// so that tests can make a call fail the way a real file never does, or watch
// which thread calls the library.

#include <libpff.h>

#include <functional>
#include <memory>

namespace ostrel {

#define OSTREL_LIBPFF_CALLS(X)                   \
    X(file_initialize)                           \
    X(file_free)                                 \
    X(file_open)                                 \
    X(file_close)                                \
    X(file_set_ascii_codepage)                   \
    X(file_get_root_folder)                      \
    X(file_get_message_store)                    \
    X(file_get_item_by_identifier)               \
    X(item_free)                                 \
    X(item_get_identifier)                       \
    X(item_get_number_of_record_sets)            \
    X(item_get_record_set_by_index)              \
    X(folder_get_number_of_sub_folders)          \
    X(folder_get_sub_folder)                     \
    X(folder_get_number_of_sub_messages)         \
    X(folder_get_sub_message)                    \
    X(message_get_recipients)                    \
    X(message_get_number_of_attachments)         \
    X(message_get_attachment)                    \
    X(attachment_get_type)                       \
    X(attachment_get_data_size)                  \
    X(attachment_data_read_buffer)               \
    X(attachment_data_seek_offset)               \
    X(attachment_get_item)                       \
    X(record_set_free)                           \
    X(record_set_get_number_of_entries)          \
    X(record_set_get_entry_by_index)             \
    X(record_entry_free)                         \
    X(record_entry_get_entry_type)               \
    X(record_entry_get_value_type)               \
    X(record_entry_get_data_size)                \
    X(record_entry_get_data)                     \
    X(record_entry_read_buffer)                  \
    X(record_entry_get_name_to_id_map_entry)     \
    X(name_to_id_map_entry_get_type)             \
    X(name_to_id_map_entry_get_number)           \
    X(name_to_id_map_entry_get_utf8_string_size) \
    X(name_to_id_map_entry_get_utf8_string)      \
    X(name_to_id_map_entry_get_guid)

struct LibpffCalls {
#define OSTREL_LIBPFF_MEMBER(name) std::function<decltype(libpff_##name)> name = libpff_##name;
    OSTREL_LIBPFF_CALLS(OSTREL_LIBPFF_MEMBER)
#undef OSTREL_LIBPFF_MEMBER

    // The table of the real library.
    static std::shared_ptr<const LibpffCalls> real();

    // Wraps every call so that observer(name) runs just before it.
    void observeEach(const std::function<void(const char *name)> &observer);
};

}  // namespace ostrel
