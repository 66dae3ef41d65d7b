#include "dfu/command_exchange.h"

#include <cstring>

#include "transport/hid_link.h"

CommandFrame MakeFrame(uint8_t command) {
  CommandFrame frame;
  frame.bytes[0] = kLeadByte;
  frame.bytes[1] = command;
  frame.length = 2;
  return frame;
}

CommandFrame MakeFrame(uint8_t command, uint8_t parameter) {
  CommandFrame frame = MakeFrame(command);
  frame.bytes[frame.length++] = parameter;
  return frame;
}

void AppendLe32(CommandFrame* frame, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    frame->bytes[frame->length++] = static_cast<uint8_t>(value >> (8 * i));
}

void AppendBytes(CommandFrame* frame, const uint8_t* bytes, int32_t count) {
  memcpy(frame->bytes + frame->length, bytes, static_cast<size_t>(count));
  frame->length += count;
}

StatusRecord ReadStatusRecord(const uint8_t* fourBytes) {
  StatusRecord record;
  uint8_t check = static_cast<uint8_t>(fourBytes[0] + fourBytes[1] + fourBytes[2]);
  record.valid = fourBytes[0] == kStatusRecordFirst && fourBytes[1] == kStatusRecordSecond &&
                 fourBytes[3] == check;
  if (record.valid)
    record.value = fourBytes[2];
  return record;
}

int ExchangeCommand(const uint8_t* request, int32_t requestLength, uint8_t* reply,
                    int32_t replyLength, int32_t windowMs) {
  if (WriteReports(request, requestLength) != 1)
    return 0;
  return ReadReports(reply, replyLength, windowMs);
}

int ExchangeFrame(const CommandFrame& frame, uint8_t* reply, int32_t replyLength,
                  int32_t windowMs) {
  return ExchangeCommand(frame.bytes, frame.length, reply, replyLength, windowMs);
}

bool ReplyEchoes(const uint8_t* reply, uint8_t command) {
  return reply[0] == kLeadByte && reply[1] == command;
}

bool ReplyPasses(const uint8_t* reply, uint8_t command, ReplyCheck check) {
  return ReplyEchoes(reply, command) && (check == ReplyCheck::kEcho || reply[2] == kStatusOk);
}

ExchangeOutcome ExchangeChecked(const CommandFrame& frame, uint8_t* reply, int32_t replyLength,
                                ReplyCheck check) {
  ExchangeOutcome outcome;
  outcome.exchange = ExchangeFrame(frame, reply, replyLength, kFirstReplyWindowMs);
  outcome.accepted = outcome.exchange == 1 && ReplyPasses(reply, frame.bytes[1], check);
  return outcome;
}

bool ReadCompletion(uint8_t command, int32_t windowMs) {
  uint8_t reply[8] = {};
  return ReadReports(reply, sizeof(reply), windowMs) == 1 &&
         ReplyPasses(reply, command, ReplyCheck::kStatusOk);
}
