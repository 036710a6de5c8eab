package kelvor.jdbc;

import kelvor.jdbc.kelcore.NativePeer;

/**
 * The driver's connection as the object-type layer sees it: the driver's services, served to
 * the native library. Descriptors made through a connection keep it reachable. close() drops
 * the descriptor cache's links and the services; a descriptor used afterwards fails with
 * driver error 1 ("connection closed").
 */
public final class Connection extends NativePeer implements AutoCloseable {
  private final ConnectionServices services;

  public Connection(ConnectionServices services) {
    super(open(requireServices(services)));
    this.services = services;
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
}
