package kelvor.jdbc.kelcore;

import java.lang.ref.Cleaner;
import java.lang.ref.WeakReference;
import java.util.HashMap;
import java.util.Map;
import java.util.concurrent.atomic.AtomicLong;

/**
 * A Java object standing for one object of the native library. It holds one count of the
 * native object, released by a {@link Cleaner} once the Java object is unreachable. Identity
 * holds: while a peer lives, the same native object always gives that same peer (a map of
 * weak references keyed by the native address; a native object cannot be freed, and its
 * address reused, while its peer holds it).
 */
public class NativePeer {
  static {
    NativeLibrary.load();
  }

  private static final Cleaner CLEANER = Cleaner.create();
  private static final Map<Long, WeakReference<NativePeer>> PEERS = new HashMap<>();
  private static final AtomicLong LIVE = new AtomicLong();

  // Peer kinds, as the native library passes them to of().
  static final int OPAQUE = 0;
  static final int TYPE = 1;
  static final int ADT = 2;
  static final int COLLECTION = 3;

  /** The native object's address; read by the native library. */
  final long peer;

  /**
   * Wraps a native object whose one count the caller hands over: the new peer releases it.
   */
  protected NativePeer(long peer) {
    this.peer = peer;
    LIVE.incrementAndGet();
    CLEANER.register(this, new Releaser(peer));
  }

  /** The number of peers not yet released: a measure of the native objects Java holds. */
  public static long livePeers() {
    return LIVE.get();
  }

  // Called by the native library with a native object it holds for the call.
  static NativePeer of(long address, int kind) {
    synchronized (PEERS) {
      WeakReference<NativePeer> known = PEERS.get(address);
      NativePeer p = known == null ? null : known.get();
      if (p != null) {
        return p;
      }
      retain(address);
      switch (kind) {
        case COLLECTION:
          p = new KelvorTypeCOLLECTION(address);
          break;
        case ADT:
          p = new KelvorTypeADT(address);
          break;
        case TYPE:
          p = new KelvorType(address);
          break;
        default:
          p = new NativePeer(address);
          break;
      }
      PEERS.put(address, new WeakReference<>(p));
      return p;
    }
  }

  private static final class Releaser implements Runnable {
    private final long address;

    Releaser(long address) {
      this.address = address;
    }

    @Override
    public void run() {
      synchronized (PEERS) {
        WeakReference<NativePeer> known = PEERS.get(address);
        if (known != null && known.get() == null) {
          PEERS.remove(address);
        }
      }
      LIVE.decrementAndGet();
      release(address);
    }
  }

  private static native void retain(long address);

  private static native void release(long address);
}
