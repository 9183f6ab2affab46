#pragma once

// Descriptions for the command-line tests; kept out of the test's source
// because moc does not read raw string literals.
namespace ostrel::test::fixtures {

inline constexpr const char *kDescription = R"({
  "storeName": "Test Store",
  "encoding": "permute",
  "folders": [
    { "name": "Inbox", "unreadCount": 5, "messages": [
        { "subject": "Plain hello", "senderName": "Anna Becker", "senderEmail": "anna@example.com",
          "deliveryTime": "2024-03-01T09:30:00Z", "importance": "high", "read": false,
          "body": "Hello there.\r\n",
          "recipients": [ { "name": "Ben Okafor", "email": "ben@example.com" },
                          { "email": "cc@example.com", "type": "cc" } ] },
        { "subject": "With files", "html": "<html><body><img src=\"cid:dot\"></body></html>",
          "attachments": [
            { "longFileName": "report.pdf", "mimeTag": "application/pdf",
              "data": { "pdf": { "title": "Report", "lines": ["one", "two"] } } },
            { "longFileName": "noise.bin", "data": { "generated": { "size": 20000, "seed": 3 } } },
            { "longFileName": "dot.png", "contentId": "dot", "mimeTag": "image/png",
              "data": { "png": { "width": 2, "height": 2, "color": "#ff0000" } } } ] }
      ],
      "folders": [ { "name": "Zweitausendvierundzwanzig – Übersicht",
                     "repeat": { "count": 250, "message": { "subject": "Copy {n}", "body": "Body {n}" } } } ] },
    { "name": "Sent Items", "messages": [ { "subject": "Sent one" } ] }
  ],
  "rootFolders": [ { "name": "Beside the subtree", "messages": [ { "subject": "Outside" } ] } ]
})";

inline constexpr const char *kNoSuchMessage = R"({"folders":[{"name":"A","messages":[{}]}]})";

inline constexpr const char *kBadImportance = R"({"folders":[{"name":"A","messages":[{"importance":"urgent"}]}]})";

inline constexpr const char *kFolderWithoutName = R"({"folders":[{"folders":[{}]}]})";

inline constexpr const char *kMissingFile = R"({"folders":[{"name":"A","messages":[{"attachments":[)"
                                                    R"({"data":{"file":"nowhere.bin"}}]}]}]})";

// The corners readers stumble on: stale and bare table rows, search
// folders, Exchange addresses, OLE attachments, extra and named properties.
inline constexpr const char *kCorners = R"({
  "internalFolders": true,
  "folders": [
    { "name": "Outbox", "reverseContents": true, "messages": [
        { "id": "queued", "subject": "Queued", "senderName": "Anna Becker", "senderEmail": "anna@example.com",
          "read": false, "deliveryTime": "2024-03-02T10:00:00Z",
          "row": { "omit": ["PidTagSentRepresentingName"] } },
        { "id": "exchange", "subject": "From Exchange", "senderName": "Ben Okafor",
          "senderEmail": "/O=EXAMPLE/OU=EXCHANGE ADMINISTRATIVE GROUP/CN=RECIPIENTS/CN=BEN",
          "senderAddressType": "EX", "senderSmtpAddress": "ben@example.com",
          "recipients": [ { "name": "Clara", "email": "/O=EXAMPLE/CN=CLARA", "addressType": "EX",
                            "smtpAddress": "clara@example.com", "type": "to" },
                          { "name": "David", "email": "david@example.com", "type": "bcc" } ],
          "properties": [ { "tag": "0x3A06", "type": "string", "value": "Extra" },
                          { "set": "PSETID_Address", "id": "0x8083", "type": "string", "value": "named@example.com" } ],
          "attachments": [ { "displayName": "Embedded drawing", "method": "ole", "data": { "hex": "d0cf11e0a1b11ae1" } } ] }
      ] },
    { "name": "Bare", "bareHierarchyRow": true, "messages": [ { "subject": "In a bare folder" } ] },
    { "name": "Found", "search": true, "results": ["queued", "exchange"] },
    { "name": "Tableless", "search": true, "noContentsTable": true, "results": ["queued"] }
  ]
})";

inline constexpr const char *kUnknownResult = R"({"folders":[{"name":"S","search":true,"results":["nobody"]}]})";

inline constexpr const char *kBadEncoding = R"({"encoding":"rot13"})";

}  // namespace ostrel::test::fixtures
