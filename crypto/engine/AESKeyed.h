// TAESKey: an AES key expanded once and used for many messages, for callers who reuse a key.
// ECB, CBC, OFB, CTR, CFB-128 and CFB-8 over caller spans, AES-GCM sealing and opening, an
// incremental GCM encryptor, AES-CMAC, AES-GCM-SIV and GMAC. The block modes and GCM give the same
// bytes as TAESModes' buffer forms; only the key set-up moves out of every call. Further modes on
// the same key: CCM, OCB3, EAX and key wrap (KW, KWP). TSIVKey (AES-SIV), TXAESKey (XAES-256-GCM)
// and TXTSKey (an XTS key pair for storage) are key objects of their own, with the same conventions.
//
// Statuses as everywhere in the library: 0 success, a negative code from crypto/support/error.h
// otherwise; nothing is thrown of the library's own (an allocation failure in SetKey or in the
// encryptor's constructor is std::bad_alloc). No operation reads or writes outside the spans it
// is given; a check that fails writes nothing.
//
// Threads: once SetKey has returned, the const operations of one TAESKey may run on several
// threads at once (they read the key and keep their working state in locals). SetKey, moving
// and destroying need the key to be used by no one else meanwhile. A TGCMEncryptor is used by
// one thread at a time; several encryptors may share one key.
//
// Traces: every call leaves no key-derived value on the stack of the thread that ran it or in a
// vector register, whatever thread destroys the key later: the block modes rely on the kernel's
// entries clearing the registers they used where its table says so, every other call zeroes every
// vector register on its way out. The
// kernels read the round keys and the hash key from the key's wiped storage where they need
// them and spill none, so the calls need no stack scrub; SetKey's key expansions likewise write
// round keys only into the key's wiped storage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "crypto/support/error.h"
#include "platform/Types.h"

namespace AESKeyed {

using platform::Integer;
using platform::TCharArray16;

class TGCMEncryptor;
class TGCMDecryptor;
class TMACGenerator;

class TAESKey {
 public:
  // A key object that holds no key yet: every operation returns kBadArgument until SetKey.
  TAESKey() noexcept;
  // Wipes the expanded key, the hash key and the CMAC subkeys, then zeroes 16 KiB of the stack
  // below and the vector registers.
  ~TAESKey();
  TAESKey(const TAESKey&) = delete;
  TAESKey& operator=(const TAESKey&) = delete;
  // Moving takes the key over; the moved-from object holds no key (kBadArgument from then on).
  TAESKey(TAESKey&& other) noexcept;
  TAESKey& operator=(TAESKey&& other) noexcept;

  // Expands key (16, 24 or 32 bytes: AES-128, -192, -256) for every mode, and derives the GCM
  // hash key and the CMAC subkeys. Returns 0, or kBadKeySize (-206) for another length, after
  // which the object holds no key. A key held before is wiped either way.
  Integer SetKey(std::span<const std::uint8_t> key);
  bool HasKey() const noexcept { return FState != nullptr; }

  // --- Block modes. in and out are either the same memory or do not overlap at all; out holds
  // at least in.size() bytes, of which exactly in.size() are written. An empty in does nothing
  // and returns 0. Checks, in this order: kBadArgument (-201) no key, out shorter than in, or
  // in and out partly overlapping; kNoPaddingLength (-211) an encryption, or
  // kBadCipherLength (-207) a decryption, of ECB or CBC whose length is not a multiple of 16.
  Integer EncryptECB(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const;
  Integer DecryptECB(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const;
  // IV: the chaining block, updated to the last cipher block, so a following call continues
  // the same chain.
  Integer EncryptCBC(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, TCharArray16& IV) const;
  Integer DecryptCBC(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, TCharArray16& IV) const;
  // OFB and CTR are their own inverse and take any length. OFB: IV is the feedback register and
  // ends as the last keystream block. CTR: IV is the counter block, all 128 bits counted
  // big-endian (wrapping to zero) and advanced once per block, a last partial block included.
  // A call that ends inside a block leaves the rest of that keystream block unused, so only a
  // call over whole blocks can be continued by a following one.
  Integer CryptOFB(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, TCharArray16& IV) const;
  Integer CryptCTR(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, TCharArray16& IV) const;
  // CFB-128 and CFB-8 (the full block and the one-byte feedback of SP 800-38A), any length, the
  // checks of the block modes. IV is the feedback register and ends as the last 16 cipher bytes,
  // so a following call continues the stream: for CFB-8 after any length, for CFB-128 after whole
  // blocks (a call that ends inside a block leaves IV at that block's register, the rest of its
  // keystream unused, as OFB and CTR do). Encryption is serial; decryption computes the keystream
  // of many blocks at once on the kernel (every register is cipher text it already has).
  Integer EncryptCFB(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, TCharArray16& IV) const;
  Integer DecryptCFB(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, TCharArray16& IV) const;
  Integer EncryptCFB8(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, TCharArray16& IV) const;
  Integer DecryptCFB8(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, TCharArray16& IV) const;

  // --- AES-GCM. IV: 1 byte or more (12 bytes give J0 = IV || 00000001, other lengths go
  // through GHASH); additionalData may be empty; the tag is tag.size() bytes, 4 to 16 (the
  // first bytes of the full tag). Data: at most 2^36 - 32 bytes. Data in and out are the same
  // memory or do not overlap; out holds at least in.size() bytes. Checks, in this order, with
  // nothing written before they pass: kBadArgument no key, an empty IV; kTagTooLong (-204) a
  // tag above 16 bytes; kBadArgument a tag below 4 bytes, out shorter than in, a partial
  // overlap, data above the limit.
  Integer GCM_Seal(std::span<const std::uint8_t> IV, std::span<const std::uint8_t> additionalData,
                   std::span<const std::uint8_t> plain, std::span<std::uint8_t> cipher,
                   std::span<std::uint8_t> tag) const;
  // Decrypts and compares the tag in constant time: 0, or kTagMismatch (-200) with every byte
  // of plain it wrote set to zero, so no unauthenticated plain text is left behind (when plain
  // is the cipher text's own memory, the cipher text is then gone as well).
  Integer GCM_Open(std::span<const std::uint8_t> IV, std::span<const std::uint8_t> additionalData,
                   std::span<const std::uint8_t> cipher, std::span<const std::uint8_t> tag,
                   std::span<std::uint8_t> plain) const;

  // --- AES-GCM-SIV (RFC 8452): nonce-misuse resistant; a repeated nonce reveals only whether
  // two messages (with their additional data) were equal. The key set must be AES-128 or
  // AES-256 (the two the RFC defines): a 24-byte key gives kBadKeySize (-206). Nonce 12 bytes,
  // tag 16 bytes; plain text and additional data each at most 2^36 bytes. Data in and out are
  // the same memory or do not overlap. Checks, in this order, with nothing written before they
  // pass: kBadArgument no key; kBadKeySize an AES-192 key; kBadArgument a nonce other than 12
  // bytes, a tag other than 16, out shorter than in, a partial overlap, data above the limit.
  Integer GCMSIV_Seal(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> additionalData,
                      std::span<const std::uint8_t> plain, std::span<std::uint8_t> cipher,
                      std::span<std::uint8_t> tag) const;
  // 0, or kTagMismatch (-200) with every byte of plain it wrote set to zero (GCM-SIV checks the
  // tag over the decrypted text, so the plain text exists before the check; none of it is left).
  Integer GCMSIV_Open(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> additionalData,
                      std::span<const std::uint8_t> cipher, std::span<const std::uint8_t> tag,
                      std::span<std::uint8_t> plain) const;

  // --- GMAC: GCM with no data, a tag over the additional data alone. IV and tag as GCM_Seal's
  // (IV 1 byte or more, tag 4 to 16 bytes), with its checks and statuses.
  Integer GMAC_Generate(std::span<const std::uint8_t> IV, std::span<const std::uint8_t> additionalData,
                        std::span<std::uint8_t> tag) const;
  // 0 when tag matches (constant time), else kMacMismatch (-205); GMAC_Generate's checks first.
  Integer GMAC_Verify(std::span<const std::uint8_t> IV, std::span<const std::uint8_t> additionalData,
                      std::span<const std::uint8_t> tag) const;

  // --- AES-CMAC. The message may be empty (its tag is the one the CMAC standard defines for
  // the empty message). The tag is tag.size() bytes, 4 to 16, the first bytes of the full
  // tag. Checks: kBadArgument no key or a tag below 4 bytes; kBadBlockLength (-210) a tag
  // above 16 bytes.
  Integer MAC_Generate(std::span<const std::uint8_t> message, std::span<std::uint8_t> tag) const;
  // 0 when tag equals the message's tag over its length (constant time), else kMacMismatch
  // (-205); the checks of MAC_Generate first.
  Integer MAC_Verify(std::span<const std::uint8_t> message, std::span<const std::uint8_t> tag) const;

  // --- CCM, OCB3 and EAX, in the manner of GCM_Seal/GCM_Open: the tag is tag.size() bytes (the
  // first bytes of the full tag); data in and out are the same memory or do not overlap, out holds
  // at least in.size() bytes; additionalData and the data may be empty. Checks, in this order,
  // with nothing written before they pass: kBadArgument no key or a nonce of a length the mode
  // refuses; kTagTooLong (-204) a tag above 16 bytes; kBadArgument a tag the mode refuses below
  // that, out shorter than in, a partial overlap, data the mode cannot count. Opening compares
  // the tag in constant time and gives 0, or kTagMismatch (-200) with no plain text left: CCM and
  // OCB zero every byte of plain they wrote (in place, the cipher text is then gone too), EAX
  // checks the tag before it decrypts and writes nothing.
  //
  // CCM (RFC 3610, NIST's CCM recommendation): nonce 7 to 13 bytes, tag 4 to 16 bytes and even;
  // the data must be countable in 15 - nonce.size() bytes (below 64 KiB with a 13-byte nonce).
  Integer CCM_Seal(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> additionalData,
                   std::span<const std::uint8_t> plain, std::span<std::uint8_t> cipher,
                   std::span<std::uint8_t> tag) const;
  Integer CCM_Open(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> additionalData,
                   std::span<const std::uint8_t> cipher, std::span<const std::uint8_t> tag,
                   std::span<std::uint8_t> plain) const;
  // OCB3 (RFC 7253): nonce 1 to 15 bytes, tag 4 to 16 bytes (its length enters the nonce block,
  // so a shorter tag is not a prefix of a longer one).
  Integer OCB_Seal(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> additionalData,
                   std::span<const std::uint8_t> plain, std::span<std::uint8_t> cipher,
                   std::span<std::uint8_t> tag) const;
  Integer OCB_Open(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> additionalData,
                   std::span<const std::uint8_t> cipher, std::span<const std::uint8_t> tag,
                   std::span<std::uint8_t> plain) const;
  // EAX: a nonce of any length (the empty one included), tag 4 to 16 bytes.
  Integer EAX_Seal(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> additionalData,
                   std::span<const std::uint8_t> plain, std::span<std::uint8_t> cipher,
                   std::span<std::uint8_t> tag) const;
  Integer EAX_Open(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> additionalData,
                   std::span<const std::uint8_t> cipher, std::span<const std::uint8_t> tag,
                   std::span<std::uint8_t> plain) const;

  // --- Key wrap with this key as the key-encryption key. in and out must not overlap.
  // KW (RFC 3394): key is a multiple of 8 bytes, at least 16; out receives key.size() + 8 bytes
  // (it holds at least that many). kBadArgument: no key, a refused length, out too short, an
  // overlap.
  Integer WrapKey(std::span<const std::uint8_t> key, std::span<std::uint8_t> out) const;
  // wrapped: a multiple of 8 bytes, at least 24; out receives wrapped.size() - 8 bytes. When the
  // integrity check fails (a damaged input or another key-encryption key): kUnwrapFailed (-214)
  // and nothing written. The checks of WrapKey first.
  Integer UnwrapKey(std::span<const std::uint8_t> wrapped, std::span<std::uint8_t> out) const;
  // KWP (RFC 5649): a key of any length from 1 byte (up to 2^32 - 1); out receives the key padded
  // with zeros to a multiple of 8, plus 8 bytes.
  Integer WrapKeyPadded(std::span<const std::uint8_t> key, std::span<std::uint8_t> out) const;
  // wrapped: a multiple of 8 bytes, at least 16; out holds at least wrapped.size() - 8 bytes, of
  // which the key's keyBytes are written. kUnwrapFailed, nothing written and keyBytes untouched,
  // when the integrity value, the length it carries or the padding is wrong.
  Integer UnwrapKeyPadded(std::span<const std::uint8_t> wrapped, std::span<std::uint8_t> out,
                          std::size_t& keyBytes) const;

  // The engine's own state of a key; opaque outside it.
  struct TState;

 private:
  Integer SetUp(std::span<const std::uint8_t> key, platform::Cardinal Nk);
  friend class TGCMEncryptor;
  friend class TGCMDecryptor;
  friend class TMACGenerator;
class TMACGenerator;
  std::unique_ptr<TState> FState;
};

// AES-GCM encryption of one message at a time in pieces: Begin, Update any number of times,
// Finish; then Begin may start the next message. Each Update writes exactly as many cipher
// bytes as it is given plain bytes, in pieces of any size, and the result equals GCM_Seal on
// the whole message. The key must outlive the encryptor and keep its key meanwhile. The message
// state (counter, running hash, lengths) is wiped by Finish and on destruction.
class TGCMEncryptor {
 public:
  explicit TGCMEncryptor(const TAESKey& key);
  ~TGCMEncryptor();
  TGCMEncryptor(const TGCMEncryptor&) = delete;
  TGCMEncryptor& operator=(const TGCMEncryptor&) = delete;

  // Starts a message (a message already started is dropped). kBadArgument: the key holds no
  // key, or IV is empty.
  Integer Begin(std::span<const std::uint8_t> IV, std::span<const std::uint8_t> additionalData);
  // kBadArgument, nothing written: no message started, out shorter than in, a partial overlap,
  // or the message would pass 2^36 - 32 bytes.
  Integer Update(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);
  // Writes the tag (tag.size() bytes, checked as GCM_Seal checks it, nothing written on a
  // failure) and ends the message. kBadArgument also when no message was started.
  Integer Finish(std::span<std::uint8_t> tag);

 private:
  struct TMessage;
  const TAESKey& FKey;
  std::unique_ptr<TMessage> FMessage;
};

// AES-GCM decryption of one message at a time in pieces, for a caller that stages what it
// decrypts: Begin, Update any number of times, Verify; then Begin may start the next message.
// Each Update decrypts exactly as many bytes as it is given, in pieces of any size, in the same
// pass that hashes them (the stitched loop where the kernel has one), so the tag covers exactly
// the bytes decrypted. The plain text of Update is NOT authenticated until Verify returns 0: the
// caller keeps it unreleased (a temporary file, a staging buffer) and discards it otherwise.
// The key must outlive the decryptor and keep its key meanwhile; the message state is wiped by
// Verify and on destruction.
class TGCMDecryptor {
 public:
  explicit TGCMDecryptor(const TAESKey& key);
  ~TGCMDecryptor();
  TGCMDecryptor(const TGCMDecryptor&) = delete;
  TGCMDecryptor& operator=(const TGCMDecryptor&) = delete;

  // As TGCMEncryptor::Begin.
  Integer Begin(std::span<const std::uint8_t> IV, std::span<const std::uint8_t> additionalData);
  // As TGCMEncryptor::Update, cipher text in, plain text out.
  Integer Update(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);
  // Ends the message: 0 when tag (tag.size() bytes, checked as GCM_Open checks it) is the
  // message's tag, compared in constant time; kTagMismatch otherwise. kBadArgument also when no
  // message was started.
  Integer Verify(std::span<const std::uint8_t> tag);

 private:
  struct TMessage;
  const TAESKey& FKey;
  std::unique_ptr<TMessage> FMessage;
};

// AES-CMAC of one message fed in pieces: Update any number of times, then Finish or Verify,
// which end the message (the next Update starts a new one). Any split gives the tag of
// MAC_Generate on the whole message. A copy continues the same message on its own, so a common
// prefix is absorbed once. The key must outlive the generator (and its copies) and keep its key
// meanwhile; the running value and the pending block are wiped when a message ends and on
// destruction. One thread at a time per generator.
class TMACGenerator {
 public:
  // kBadArgument from every operation when key holds no key at construction.
  explicit TMACGenerator(const TAESKey& key);
  TMACGenerator(const TMACGenerator& other);
  TMACGenerator& operator=(const TMACGenerator&) = delete;
  ~TMACGenerator();

  // kBadArgument when the key holds no key; otherwise absorbs message (any length) and returns 0.
  Integer Update(std::span<const std::uint8_t> message);
  // The tag, checked as MAC_Generate checks it (nothing written on a failure, the message then
  // goes on).
  Integer Finish(std::span<std::uint8_t> tag);
  // 0 when tag equals the message's tag over its length (constant time), else kMacMismatch; the
  // checks of Finish first.
  Integer Verify(std::span<const std::uint8_t> tag);

 private:
  struct TMessage;
  const TAESKey& FKey;
  std::unique_ptr<TMessage> FMessage;
};

// AES-SIV (RFC 5297): deterministic authenticated encryption. The key is two AES keys of equal
// size, 32, 48 or 64 bytes in all: the first half authenticates (S2V over CMAC), the second
// encrypts (counter mode from the synthetic IV). The associated data is a list of up to 126
// strings, each authenticated on its own (a nonce, when used, is conventionally the last);
// without a nonce, equal inputs give equal outputs and nothing more is revealed. Conventions,
// threads and statuses as TAESKey's.
class TSIVKey {
 public:
  using TStrings = std::span<const std::span<const std::uint8_t>>;
  TSIVKey() noexcept;
  // Wipes both keys and the CMAC subkeys, and clears the vector registers as ~TAESKey does.
  ~TSIVKey();
  TSIVKey(const TSIVKey&) = delete;
  TSIVKey& operator=(const TSIVKey&) = delete;
  TSIVKey(TSIVKey&& other) noexcept;
  TSIVKey& operator=(TSIVKey&& other) noexcept;

  // 0, or kBadKeySize (-206) for a length other than 32, 48 or 64 (no key held afterwards).
  Integer SetKey(std::span<const std::uint8_t> key);
  bool HasKey() const noexcept { return FState != nullptr; }

  // out = the 16-byte synthetic IV, then plain.size() cipher bytes; out holds at least
  // plain.size() + 16 bytes. plain and the cipher text part of out are the same memory or do not
  // overlap. kBadArgument, nothing written: no key, more than 126 strings, out too short, a
  // partial overlap.
  Integer Seal(TStrings associated, std::span<const std::uint8_t> plain, std::span<std::uint8_t> out) const;
  // in = synthetic IV then cipher text (at least 16 bytes); plain holds at least in.size() - 16
  // bytes and is the cipher text's memory or does not overlap it. 0, or kTagMismatch (-200) with
  // the bytes written to plain set to zero; kBadArgument as Seal's (and an in below 16 bytes).
  Integer Open(TStrings associated, std::span<const std::uint8_t> in, std::span<std::uint8_t> plain) const;

  struct TState;

 private:
  std::unique_ptr<TState> FState;
};

// XAES-256-GCM: AES-256-GCM with a 24-byte nonce, safe to choose at random for any number of
// messages under one key. Each message runs under its own AES-256 key, derived from the key and
// the nonce's first 12 bytes by one step of a CMAC-based counter-mode KDF (SP 800-108); the
// last 12 bytes are the GCM nonce. Tag 16 bytes; data at most 2^36 - 32 bytes per message.
// Conventions, threads and statuses as TAESKey's.
class TXAESKey {
 public:
  static constexpr std::size_t kNonceBytes = 24, kTagBytes = 16;
  TXAESKey() noexcept;
  ~TXAESKey();
  TXAESKey(const TXAESKey&) = delete;
  TXAESKey& operator=(const TXAESKey&) = delete;
  TXAESKey(TXAESKey&& other) noexcept;
  TXAESKey& operator=(TXAESKey&& other) noexcept;

  // 0, or kBadKeySize (-206) for a key other than 32 bytes (no key held afterwards).
  Integer SetKey(std::span<const std::uint8_t> key);
  bool HasKey() const noexcept { return FState != nullptr; }

  // kBadArgument, nothing written: no key, a nonce other than 24 bytes, a tag other than 16, out
  // shorter than in, a partial overlap, data above the limit.
  Integer Seal(std::span<const std::uint8_t> nonce24, std::span<const std::uint8_t> additionalData,
               std::span<const std::uint8_t> plain, std::span<std::uint8_t> cipher,
               std::span<std::uint8_t> tag) const;
  // 0, or kTagMismatch (-200) with nothing written to plain (the tag is checked first).
  Integer Open(std::span<const std::uint8_t> nonce24, std::span<const std::uint8_t> additionalData,
               std::span<const std::uint8_t> cipher, std::span<const std::uint8_t> tag,
               std::span<std::uint8_t> plain) const;
  // out = a fresh random nonce (24 bytes) || cipher text || tag (16 bytes); out holds at least
  // plain.size() + 40 bytes and does not overlap plain. The random source's status when it fails.
  Integer SealWithRandomNonce(std::span<const std::uint8_t> additionalData, std::span<const std::uint8_t> plain,
                              std::span<std::uint8_t> out) const;

  struct TState;

 private:
  std::unique_ptr<TState> FState;
};

// XTS-AES (IEEE 1619, NIST's XTS recommendation) for storage: a key of 32, 48 or 64 bytes, the
// data key (first half) and the tweak key (second half) of AES-128, -192 or -256. Each data unit
// is enciphered under its 16-byte tweak on its own; a unit that is not whole blocks ends with
// cipher-text stealing, so the output is exactly as long as the input. Threads as for TAESKey.
class TXTSKey {
 public:
  TXTSKey() noexcept;
  // Wipes both expanded keys and clears the vector registers, as TAESKey does.
  ~TXTSKey();
  TXTSKey(const TXTSKey&) = delete;
  TXTSKey& operator=(const TXTSKey&) = delete;
  TXTSKey(TXTSKey&& other) noexcept;
  TXTSKey& operator=(TXTSKey&& other) noexcept;

  // 0; kBadKeySize (-206) for a length other than 32, 48 or 64 bytes; kBadArgument when the two
  // halves are equal (XTS then loses its tweak's protection). A key held before is wiped either
  // way; after a failure the object holds no key.
  Integer SetKey(std::span<const std::uint8_t> key);
  bool HasKey() const noexcept { return FState != nullptr; }

  // One data unit of in.size() bytes, 16 to 2^24 (2^20 blocks), under tweak (the data unit's
  // number as the caller defines it, often its sector number little-endian). in and out are the
  // same memory or do not overlap; out holds at least in.size() bytes. kBadArgument, nothing
  // written: no key, a length outside that range, out too short, a partial overlap.
  Integer Encrypt(const TCharArray16& tweak, std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const;
  Integer Decrypt(const TCharArray16& tweak, std::span<const std::uint8_t> in, std::span<std::uint8_t> out) const;
  // A disk image: in is whole sectors of sectorSize bytes (16 to 2^24), sector k under the tweak
  // firstSector + k as a 16-byte little-endian number. kBadArgument, nothing written, also when
  // in.size() is not a multiple of sectorSize.
  Integer EncryptSectors(std::uint64_t firstSector, std::size_t sectorSize, std::span<const std::uint8_t> in,
                         std::span<std::uint8_t> out) const;
  Integer DecryptSectors(std::uint64_t firstSector, std::size_t sectorSize, std::span<const std::uint8_t> in,
                         std::span<std::uint8_t> out) const;

  struct TState;

 private:
  std::unique_ptr<TState> FState;
};

}  // namespace AESKeyed
