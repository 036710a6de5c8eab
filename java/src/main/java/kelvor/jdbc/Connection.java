package kelvor.jdbc;

import kelvor.jdbc.kelcore.NativePeer;

/**
 * The driver's connection as the object-type layer sees it: the driver's services, served to
 * the native library. Every descriptor of its trees that Java holds (values hold theirs) keeps
 * it reachable, so the native descriptors never outlive it. close() drops
 * the descriptor cache's links and the services; a descriptor used afterwards fails with
 * driver error 1 ("connection closed").
 */
public final class Connection extends NativePeer implements AutoCloseable {
  private final ConnectionServices services;

  public Connection(ConnectionServices services) {
    super(open(requireServices(services)));
    this.services = services;
    bind0(this);
  }

  public ConnectionServices services() {
    return services;
  }

  @Override
  public void close() {
    close0(this);
  }

  private static ConnectionServices requireServices(ConnectionServices services) {
    if (services == null) {
      throw new NullPointerException("connection services");
    }
    return services;
  }

  private static native long open(ConnectionServices services);

  private static native void close0(Connection self);

  // Lets the native connection find this object again (weakly): every descriptor peer of its
  // trees then holds it, so that it outlives them.
  private static native void bind0(Connection self);
}
