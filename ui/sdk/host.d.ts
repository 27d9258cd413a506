// Type declarations of the page SDK (host.js).

/** One decoded host answer (progress or completion). */
export interface HostAnswer {
  cbid: string;
  done: number;
  jsp: '' | 'onDownloadProgress' | 'onUnZipProgress' | string;
  message: string;
  name: string;
  /** 0 = success; -1 arrives as 4294967295. */
  result: number;
  todo: number;
  /** Download progress while the transfer waits to try again (absent otherwise, and from older hosts). */
  attempt?: number;
  attempts?: number;
  retryInMs?: number;
  waitingFor?: 'server' | 'network' | string;
  /** Download progress: the bytes kept from an earlier download that this one continues from. */
  continuesFrom?: number;
  /** A stopped download's completion: the bytes kept for the next download of the same file. */
  kept?: number;
}

/** What a download waits for before it tries again. */
export interface RetryWait {
  /** The retry about to be made, from 1, and how many there are before the download gives up. */
  attempt: number;
  attempts: number;
  /** Whole seconds until then, as reported. */
  inSeconds: number;
  waitingFor: 'server' | 'network' | string;
}

/** A progress report of a download or an extraction. */
export interface Progress {
  /** Bytes done. */
  done: number;
  /** Bytes in all, or null while the host does not know. */
  total: number | null;
  /** done / total in [0, 1], or null while the total is unknown. */
  fraction: number | null;
  /** Extraction: the entry being written. Download: empty. */
  message: string;
  /** Non-zero on an extraction progress report for a failed entry. */
  result: number;
  /** Download: present only while the transfer waits to try again. */
  retry?: RetryWait;
  /** Download: bytes kept from an earlier download that this one continues from (0 if none). */
  continuesFrom?: number;
}

export type ProgressCallback = (progress: Progress) => void;

/** A pending request; its callback id can be stored to resume() it after a page reload. */
export interface HostRequest<T> extends Promise<T> {
  readonly callbackId: string;
}

/** Codes from 65536 up are the host's own: no platform failure it passes on has one. */
export declare const Result: Readonly<{
  OK: 0;
  CANCELLED: 1602;
  /** doDownload: the network answered with a web page (a sign-in page) instead of the archive. */
  WEB_PAGE_INSTEAD_OF_DOWNLOAD: 65536;
  /** doDownload: a proxy answered HTTP 407; it wants credentials the host cannot give. */
  PROXY_CREDENTIALS_WANTED: 65537;
  NOTHING_TO_EXCHANGE: 4294967295;
}>;

/** Rejection of an action that answered with a non-zero result. */
export declare class HostError extends Error {
  readonly action: string;
  /** The host's result code. */
  readonly code: number;
  /** The answer's message text (may be empty). */
  readonly hostMessage: string;
  readonly answer: HostAnswer;
  /** True for result 1602. */
  readonly cancelled: boolean;
  /**
   * A stopped download: the bytes kept for the next download of the same file, which continues
   * from them (0 when nothing was kept, and from older hosts).
   */
  readonly kept: number;
}

/** The members of doDownload's "fetchDownloadConfig". */
export interface DownloadConfig {
  url: string;
  archive_name: string;
  /** Expected size in bytes; a mismatch fails with 24. */
  size?: number;
  /** Expected SHA-256 as hex; a mismatch fails with 23. */
  sha256?: string;
  /**
   * The archive's detached signature, checked against the key built into the host: a mismatch
   * fails with 24592. A host built without a key ignores it.
   */
  signature?: string;
  /** Where the host fetches the signature from instead (http or https); unobtainable: 256. */
  signature_url?: string;
  /**
   * With a key: the product whose signed release manifest the host accepts; a release of
   * another product, or a bare-archive signature, fails with 272. Malformed: 87.
   */
  product_id?: string;
  /**
   * With a key: the lowest release version accepted ("2.4", "1.2.0-beta.2"), ordered as
   * semantic versioning orders them; an older one fails with 257. Malformed: 87.
   */
  min_version?: string;
  /** false drops the bytes kept from an earlier stopped download of this archive. */
  resume?: boolean;
  /**
   * 1 to 16 (default 1): a large file from a server that serves ranges comes over this many
   * connections at once (direct downloads only). Malformed: 87.
   */
  connections?: number;
}

/**
 * The default page's config.json. Every URL is absolute http or https; the links open in the
 * user's browser.
 */
export interface PageConfig {
  /** One name, or one per language tag ("en", "de", "ar"); "en" or the first stands in. */
  productName: string | Record<string, string>;
  url: string;
  archive_name: string;
  size?: number;
  sha256?: string;
  signature?: string;
  signature_url?: string;
  product_id?: string;
  min_version?: string;
  /** 1 to 16; the default page asks for 4. */
  connections?: number;
  /** The setup program inside the archive; the host's default is "Setup.exe". */
  launcherName?: string;
  /**
   * Where the setup puts the product, shown once it succeeded; may hold %NAME% environment
   * references ("%ProgramFiles%\\Demo Product").
   */
  productFolder?: string;
  /** The product's program inside productFolder, relative: "Open" starts it after a success. */
  productProgram?: string;
  licenceUrl?: string;
  /** "Contact support" on failure screens. */
  supportUrl?: string;
  /** "Get a new copy" on failure screens: where this installer can be downloaded again. */
  downloadPageUrl?: string;
  /** The page's language instead of the system's: "en", "de" or "ar". */
  language?: string;
  autoStart?: boolean;
}

export interface DownloadResult {
  /** Path of the downloaded archive. */
  des: string;
  url: string;
}

export interface LaunchOptions {
  unzipdir: string;
  /**
   * The setup's file name in unzipdir; the host's default is "Setup.exe". A .msi is started by
   * the system's installer (msiexec /i) on Windows and answers 50 elsewhere.
   */
  launcherName?: string;
  /**
   * Words after the setup's path (after "/i <package>" for a .msi), each reaching it exactly:
   * at most 64, each at most 2048 bytes and 8192 together, no NUL character. Malformed: 87.
   */
  arguments?: string[];
}

export interface LogEntry {
  category: string;
  file: string;
  function: string;
  level: 'DEBUG' | 'INFO' | 'WARN' | 'ERROR' | 'FATAL';
  line: number;
  message: string;
  timestamp: string;
}

export interface LogLine {
  message: string;
  level?: 'DEBUG' | 'INFO' | 'WARN' | 'ERROR' | 'FATAL';
  category?: string;
  function?: string;
  file?: string;
  line?: number;
}

export declare function decodePayload(base64: string): HostAnswer;

/** Posts any action with a fresh callback id; resolves with the raw completion. */
export declare function request(
  action: string,
  members?: Record<string, unknown>,
  onProgress?: ((answer: HostAnswer) => void) | null,
): HostRequest<HostAnswer>;

export declare function download(
  config: DownloadConfig,
  onProgress?: ProgressCallback | null,
): HostRequest<DownloadResult>;

export declare function unzip(
  archivePath: string,
  onProgress?: ProgressCallback | null,
): HostRequest<string>;

export declare function resume(
  kind: 'download',
  callbackId: string,
  onProgress?: ProgressCallback | null,
): HostRequest<DownloadResult>;
export declare function resume(
  kind: 'unzip',
  callbackId: string,
  onProgress?: ProgressCallback | null,
): HostRequest<string>;
export declare function resume(
  kind: 'setup',
  callbackId: string,
  onProgress?: null,
): HostRequest<number>;

/** Resolves with the setup's exit code, or 404 / a start failure code. */
export declare function launchSetup(options: LaunchOptions): HostRequest<number>;

export declare function cancel(): Promise<void>;
export declare function cleanUp(): Promise<string[]>;

export declare function storeData(data: Record<string, unknown>): Promise<void>;
export declare function loadData<T extends Record<string, unknown>>(): Promise<T | null>;

/** doGetSysInfo's object; `webhookConfigured` is true when postToTeams can send a report. */
export declare function getSysInfo(): Promise<
  Record<string, unknown> & { webhookConfigured?: boolean }
>;

/** The room left where downloads and extractions go. */
export interface FreeSpace {
  /** The folder asked about. */
  folder: string;
  /** Bytes free there. */
  free: number;
}
/**
 * Rejects with a HostError when the host cannot tell; a host without the action never answers,
 * so wrap it in a time limit where that matters.
 */
export declare function getFreeSpace(): HostRequest<FreeSpace>;

/**
 * Where an installed product is: full paths in the platform's form ('\\' between names on
 * Windows); program '' when none was named.
 */
export interface ProductLocation {
  folder: string;
  program: string;
}
/** `folder` may hold %NAME% environment references; `program` is relative to it. */
export declare function findProduct(product: {
  folder: string;
  program?: string;
}): Promise<ProductLocation>;
export declare function openProduct(product: {
  folder: string;
  program: string;
}): Promise<ProductLocation>;
export declare function restartSystem(): Promise<void>;
export declare function getLogData(options?: {
  maxEntries?: number;
  includeDebug?: boolean;
}): Promise<LogEntry[]>;
export declare function writeLog(entry: LogLine): Promise<void>;
export declare function log(
  level: LogLine['level'],
  message: string,
  category?: string,
): Promise<void>;

export declare function postToTeams(report: {
  error?: { description?: string };
  [member: string]: unknown;
}): Promise<void>;

export declare function onCloseRequest(handler: (() => void) | null): void;
export declare function close(): void;
export declare function closeNow(): void;
export declare function isClosing(): boolean;
export declare function minimize(): void;
export declare function openDevTools(): void;
/**
 * Opens an absolute http or https URL in the user's default browser. Call it from a click or key
 * handler. Throws TypeError for any other URL.
 */
export declare function openExternal(url: string): void;
export declare function onUnclaimedAnswer(
  listener: (kind: 'progress' | 'complete', answer: HostAnswer) => void,
): () => void;
export declare function isAvailable(): boolean;
